#include "support/fixtures.h"

#include "base/commonfun.h"

#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <csignal>
#include <fstream>
#include <iomanip>
#include <sstream>

#include <sys/resource.h>

fs::path ScratchDir() {
    static const struct Folder {
        fs::path path;
        Folder() {
            std::string pattern = ::testing::TempDir() + "tessera-test-XXXXXX";
            if (::mkdtemp(pattern.data()))
                path = pattern;
        }
        ~Folder() {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
    } folder;
    return folder.path;
}

std::wstring WPath(const fs::path& path) {
    return CommonFun::M2U(path.string());
}

std::string Narrow(const std::wstring& text) {
    return CommonFun::U2M(text);
}

fs::path Scratch(const std::string& name) {
    const fs::path folder = ScratchDir() / name;
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directories(folder);
    return folder;
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::set<std::string> FilesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

void WithFileSizeLimit(std::size_t bytes, const std::function<void()>& write) {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = static_cast<rlim_t>(bytes);
    EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    write();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
}

fs::path WriteRaster(const fs::path& path, const RasterSpec& spec, const PixelValue& value) {
    GDALAllRegister();
    CPLStringList options;
    for (const std::string& o : spec.options)
        options.AddString(o.c_str());
    Dataset ds(
        GetGDALDriverManager()
            ->GetDriverByName(spec.driver)
            ->Create(path.string().c_str(), spec.width, spec.height, spec.bands, spec.type, options.List()));
    EXPECT_TRUE(ds) << path;
    if (!ds)
        return path;
    auto geo = spec.geo;
    ds->SetGeoTransform(geo.data());
    if (spec.epsg) {
        OGRSpatialReference srs;
        srs.importFromEPSG(spec.epsg);
        ds->SetSpatialRef(&srs);
    }
    if (!spec.colours.empty()) {
        GDALColorTable table;
        for (size_t i = 0; i < spec.colours.size(); ++i) {
            const GDALColorEntry e{spec.colours[i][0], spec.colours[i][1], spec.colours[i][2], 255};
            table.SetColorEntry(static_cast<int>(i), &e);
        }
        ds->GetRasterBand(1)->SetColorTable(&table);
    }
    if (!spec.categories.empty()) {
        CPLStringList names;
        for (const std::string& c : spec.categories)
            names.AddString(c.c_str());
        ds->GetRasterBand(1)->SetCategoryNames(names.List());
    }
    for (const auto& [band, nodata] : spec.nodata)
        ds->GetRasterBand(band)->SetNoDataValue(nodata);
    if (!value)
        return path;
    std::vector<double> row(spec.width);
    for (int b = 1; b <= spec.bands; ++b)
        for (int r = 0; r < spec.height; ++r) {
            for (int c = 0; c < spec.width; ++c)
                row[c] = value(b, c, r);
            EXPECT_EQ(ds->GetRasterBand(b)->RasterIO(GF_Write, 0, r, spec.width, 1, row.data(), spec.width, 1,
                                                     GDT_Float64, 0, 0, nullptr),
                      CE_None);
        }
    return path;
}

fs::path WriteRaster(const fs::path& path, const RasterSpec& spec, const std::vector<double>& values) {
    const size_t plane = static_cast<size_t>(spec.width) * spec.height;
    EXPECT_TRUE(values.size() == plane || values.size() == plane * spec.bands) << path;
    return WriteRaster(path, spec, [&](int b, int c, int r) {
        return values.at((values.size() == plane ? 0 : (b - 1) * plane) + r * spec.width + c);
    });
}

Dataset OpenDataset(const fs::path& path, unsigned flags) {
    GDALAllRegister();
    return Dataset(GDALDataset::Open(path.string().c_str(), flags | GDAL_OF_READONLY));
}

template <class T> std::vector<T> ReadBand(const fs::path& path, int band) {
    const Dataset ds = OpenDataset(path);
    if (!ds)
        return {};
    const int w = ds->GetRasterXSize(), h = ds->GetRasterYSize();
    std::vector<T> values(static_cast<size_t>(w) * h);
    EXPECT_EQ(ds->GetRasterBand(band)->RasterIO(GF_Read, 0, 0, w, h, values.data(), w, h,
                                                std::is_same_v<T, float> ? GDT_Float32 : GDT_Int32, 0, 0,
                                                nullptr),
              CE_None);
    return values;
}
template std::vector<int> ReadBand(const fs::path&, int);
template std::vector<float> ReadBand(const fs::path&, int);

std::string RectangleWkt(double x0, double y0, double x1, double y1) {
    std::ostringstream wkt;
    wkt << std::setprecision(17) << "POLYGON ((" << x0 << ' ' << y0 << ", " << x1 << ' ' << y0 << ", " << x1
        << ' ' << y1 << ", " << x0 << ' ' << y1 << ", " << x0 << ' ' << y0 << "))";
    return wkt.str();
}

fs::path WriteLayer(const fs::path& path, const std::vector<std::pair<std::string, OGRFieldType>>& fields,
                    const std::vector<std::vector<std::string>>& features, int epsg, int from) {
    GDALAllRegister();
    const char* driver = path.extension() == ".shp" ? "ESRI Shapefile" : "GPKG";
    Dataset ds(GetGDALDriverManager()->GetDriverByName(driver)->Create(path.string().c_str(), 0, 0, 0,
                                                                       GDT_Unknown, nullptr));
    OGRSpatialReference target, source;
    for (auto [srs, code] : {std::pair{&target, epsg}, {&source, from}})
        if (code) {
            srs->importFromEPSG(code);
            srs->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        }
    OGRLayer* layer =
        ds->CreateLayer(path.stem().string().c_str(), epsg ? &target : nullptr, wkbUnknown, nullptr);
    for (const auto& [name, type] : fields) {
        OGRFieldDefn field(name.c_str(), type);
        layer->CreateField(&field);
    }
    for (const std::vector<std::string>& values : features) {
        OGRFeature feature(layer->GetLayerDefn());
        OGRGeometry* geometry = nullptr;
        OGRGeometryFactory::createFromWkt(values.at(0).c_str(), from ? &source : nullptr, &geometry);
        if (from)
            geometry->transformTo(&target);
        feature.SetGeometryDirectly(geometry);
        for (size_t f = 0; f < fields.size(); ++f)
            feature.SetField(fields[f].first.c_str(), values.at(f + 1).c_str());
        EXPECT_EQ(layer->CreateFeature(&feature), OGRERR_NONE) << path;
    }
    return path;
}

CClassifiedAssistantFile MakeAcf(const std::vector<AcfClass>& classes, double px, double py) {
    CClassifiedAssistantFile acf;
    for (const AcfClass& c : classes)
        acf.AddClass(c.name, c.number, c.pixels, c.colour, c.reserved);
    acf.SetPixelSize(px, py);
    return acf;
}

void WriteAcf(const fs::path& image, const std::vector<AcfClass>& classes, double px, double py) {
    ASSERT_TRUE(MakeAcf(classes, px, py)
                    .WriteClassifiedAssistantFile(WPath(fs::path(image).replace_extension(".acf"))));
}

ClassifySample* NewSample(const std::wstring& name, int bands, std::vector<double> mean,
                          std::vector<double> covariance, int pixels) {
    auto* s = new ClassifySample;
    s->SetName(name);
    s->m_bandCount = bands;
    s->m_pixelCount = pixels;
    mean.resize(bands, 0.0);
    covariance.resize(static_cast<size_t>(bands) * bands, 0.0);
    s->m_min = s->m_max = s->m_mean = mean;
    s->m_covariance = covariance;
    return s;
}

void WriteSamples(const fs::path& path, int bands, const std::vector<ClassifySample*>& samples) {
    CClassifySampleFile file;
    file.SetFileTag(L"test");
    file.m_bandCount = bands;
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i]->m_index = static_cast<int>(i + 1);
        file.m_samples.push_back(samples[i]);
    }
    ASSERT_NE(file.WriteClassifySampleFile(WPath(path)), 0) << file.GetLastError();
}
