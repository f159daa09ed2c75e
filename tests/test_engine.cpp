// The raster engine on small rasters written here with GDAL.
#include "engine/aiffile.h"
#include "engine/aoi.h"
#include "engine/drawshape.h"
#include "engine/rasteralgorithm.h"
#include "engine/rasterband.h"
#include "engine/rastersource.h"
#include "base/commonfun.h"
#include "support/scratchdir.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
#include <random>

namespace fs = std::filesystem;

namespace {

struct RasterDef {
    const char* driver = "GTiff";
    int width = 6, height = 5, bands = 1;
    GDALDataType type = GDT_Byte;
    std::array<double, 6> geoTransform{500000, 30, 0, 4000000, 0, -30};
    int epsg = 32650; // 0: no spatial reference
    std::function<double(int band, int col, int row)> value = [](int b, int c, int r) { return b * 100 + r * 10 + c; };
};

fs::path tempDir() {
    return ScratchDir();
}

std::wstring writeRaster(const std::string& name, const RasterDef& def) {
    GDALAllRegister();
    const fs::path path = tempDir() / name;
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(def.driver);
    std::unique_ptr<GDALDataset> ds(
        driver->Create(path.string().c_str(), def.width, def.height, def.bands, def.type, nullptr));
    EXPECT_TRUE(ds) << name;
    auto gt = def.geoTransform;
    ds->SetGeoTransform(gt.data());
    if (def.epsg) {
        OGRSpatialReference srs;
        srs.importFromEPSG(def.epsg);
        ds->SetSpatialRef(&srs);
    }
    std::vector<double> row(def.width);
    for (int b = 1; b <= def.bands; ++b)
        for (int r = 0; r < def.height; ++r) {
            for (int c = 0; c < def.width; ++c)
                row[c] = def.value(b, c, r);
            EXPECT_EQ(ds->GetRasterBand(b)->RasterIO(GF_Write, 0, r, def.width, 1, row.data(), def.width, 1,
                                                     GDT_Float64, 0, 0, nullptr),
                      CE_None);
        }
    return CommonFun::M2U(path.string());
}

// Ray-casting point-in-polygon, the textbook way.
bool insidePolygon(const std::vector<CPoint2D>& ring, double x, double y) {
    bool inside = false;
    for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
        if ((ring[i].y > y) != (ring[j].y > y) &&
            x < (ring[j].x - ring[i].x) * (y - ring[i].y) / (ring[j].y - ring[i].y) + ring[i].x)
            inside = !inside;
    }
    return inside;
}

struct NaiveStats {
    long long n = 0;
    std::vector<double> min, max, mean, cov;
};

// Reference statistics: every pixel centre tested against the ring, all
// values held in memory, covariance from the definition.
NaiveStats naiveStats(const RasterDef& def, const std::vector<CPoint2D>& ring) {
    const int k = def.bands;
    std::vector<std::vector<double>> samples;
    for (int r = 0; r < def.height; ++r)
        for (int c = 0; c < def.width; ++c) {
            const auto& g = def.geoTransform;
            const double x = g[0] + (c + 0.5) * g[1], y = g[3] + (r + 0.5) * g[5];
            if (!insidePolygon(ring, x, y))
                continue;
            std::vector<double> v(k);
            for (int b = 0; b < k; ++b)
                v[b] = def.value(b + 1, c, r);
            samples.push_back(v);
        }
    NaiveStats s;
    s.n = static_cast<long long>(samples.size());
    s.min.assign(k, 1e300);
    s.max.assign(k, -1e300);
    s.mean.assign(k, 0);
    s.cov.assign(k * k, 0);
    for (const auto& v : samples)
        for (int b = 0; b < k; ++b) {
            s.min[b] = std::min(s.min[b], v[b]);
            s.max[b] = std::max(s.max[b], v[b]);
            s.mean[b] += v[b] / s.n;
        }
    for (const auto& v : samples)
        for (int i = 0; i < k; ++i)
            for (int j = 0; j < k; ++j)
                s.cov[i * k + j] += (v[i] - s.mean[i]) * (v[j] - s.mean[j]) / s.n;
    return s;
}

} // namespace

TEST(RasterSource, OpensGeoTiffAndImagineWithTheirGeometry) {
    RasterDef def;
    def.bands = 3;
    def.type = GDT_UInt16; // GeoTIFF marks three Byte bands as RGB by itself
    CRasterSource tif;
    ASSERT_EQ(tif.Open(writeRaster("rgb.tif", def)), GIS_OK);
    EXPECT_EQ(tif.GetDataSourceType(), 1);
    EXPECT_EQ(tif.GetWidth(), 6);
    EXPECT_EQ(tif.GetHeight(), 5);
    EXPECT_EQ(tif.GetBandCount(), 3);
    EXPECT_EQ(tif.GetRasterDataType(), PDT_UInt16);
    EXPECT_DOUBLE_EQ(tif.GetXResolution(), 30.0);
    EXPECT_DOUBLE_EQ(tif.GetYResolution(), -30.0);
    EXPECT_EQ(tif.GetUnitName(false), L"m");
    EXPECT_EQ(tif.GetUnitName(true), L"metre");
    // Bands from 1; without colour interpretation red, green, blue are 3, 2, 1.
    EXPECT_EQ(tif.GetRasterBand(0), nullptr);
    EXPECT_EQ(tif.GetRasterBand(4), nullptr);
    ASSERT_NE(tif.GetRasterBand(3), nullptr);
    EXPECT_EQ(tif.GetRasterBand(3)->GetBandNumber(), 3);
    EXPECT_EQ(tif.GetRedBandNum(), 3);
    EXPECT_EQ(tif.GetGreenBandNum(), 2);
    EXPECT_EQ(tif.GetBlueBandNum(), 1);
    // Integer image positions are pixel centres.
    const CPoint2D centre = tif.ImageToGround({0, 0});
    EXPECT_DOUBLE_EQ(centre.x, 500015.0);
    EXPECT_DOUBLE_EQ(centre.y, 3999985.0);
    const CPoint2D far = tif.ImageToGround({5, 4});
    EXPECT_DOUBLE_EQ(far.x, 500000 + 5.5 * 30);
    EXPECT_DOUBLE_EQ(far.y, 4000000 - 4.5 * 30);
    const CPoint2D back = tif.GroundToImage(far);
    EXPECT_NEAR(back.x, 5.0, 1e-9);
    EXPECT_NEAR(back.y, 4.0, 1e-9);
    std::uint8_t byte = 0;
    ASSERT_TRUE(tif.GetRasterBand(2)->GetPixel(&byte, 4, 3, PDT_Byte));
    EXPECT_EQ(byte, 234);
    EXPECT_FALSE(tif.GetRasterBand(2)->GetPixel(&byte, 6, 0, PDT_Byte));
    EXPECT_FALSE(tif.GetRasterBand(2)->GetPixel(&byte, 0, -1, PDT_Byte));

    RasterDef img;
    img.driver = "HFA";
    img.bands = 4;
    img.type = GDT_UInt16;
    img.epsg = 4326;
    img.geoTransform = {100, 0.5, 0, 30, 0, -0.25};
    img.value = [](int b, int c, int r) { return b == 4 ? 65535.0 : 1000.0 * b + c + r; };
    CRasterSource erdas;
    ASSERT_EQ(erdas.Open(writeRaster("four.img", img)), GIS_OK);
    EXPECT_EQ(erdas.GetRasterDataType(), PDT_UInt16);
    EXPECT_EQ(erdas.GetBandCount(), 4);
    EXPECT_EQ(erdas.GetUnitName(false), L"degree");
    EXPECT_DOUBLE_EQ(erdas.GetYResolution(), -0.25);
    // Conversion to the wanted type, saturating like GDAL.
    std::uint8_t saturated = 0;
    double wide = 0;
    ASSERT_TRUE(erdas.GetRasterBand(4)->GetPixel(&saturated, 1, 1, PDT_Byte));
    EXPECT_EQ(saturated, 255);
    ASSERT_TRUE(erdas.GetRasterBand(2)->GetPixel(&wide, 5, 4, PDT_Float64));
    EXPECT_EQ(wide, 2009.0);

    // Colour interpretation, when set, decides the display bands.
    {
        std::unique_ptr<GDALDataset> ds(GDALDataset::Open(CommonFun::U2M(tif.GetPath()).c_str(), GDAL_OF_UPDATE));
        ds->GetRasterBand(1)->SetColorInterpretation(GCI_RedBand);
        ds->GetRasterBand(2)->SetColorInterpretation(GCI_GreenBand);
        ds->GetRasterBand(3)->SetColorInterpretation(GCI_BlueBand);
    }
    CRasterSource rgb;
    ASSERT_EQ(rgb.Open(tif.GetPath()), GIS_OK);
    EXPECT_EQ(rgb.GetRedBandNum(), 1);
    EXPECT_EQ(rgb.GetBlueBandNum(), 3);

    RasterDef single;
    single.type = GDT_Float32;
    single.epsg = 0;
    single.value = [](int, int c, int r) { return c * 0.5 - r; };
    CRasterSource flt;
    ASSERT_EQ(flt.Open(writeRaster("single.tif", single)), GIS_OK);
    EXPECT_EQ(flt.GetRasterDataType(), PDT_Float32);
    EXPECT_EQ(flt.GetRedBandNum(), 1);
    EXPECT_EQ(flt.GetGreenBandNum(), 1);
    EXPECT_EQ(flt.GetUnitName(false), L"unknown");
}

TEST(RasterSource, RefusesWhatIsNotARaster) {
    CRasterSource raster;
    EXPECT_NE(raster.Open(L""), GIS_OK);
    EXPECT_NE(raster.Open(CommonFun::M2U((tempDir() / "missing.tif").string())), GIS_OK);
    const fs::path text = tempDir() / "notes.tif";
    std::ofstream(text) << "not an image at all\n";
    EXPECT_NE(raster.Open(CommonFun::M2U(text.string())), GIS_OK);
    EXPECT_FALSE(raster.IsOpen());
    EXPECT_EQ(raster.GetWidth(), 0);
    EXPECT_EQ(raster.GetRasterBand(1), nullptr);
    EXPECT_EQ(raster.GetRedBandNum(), 0);
}

TEST(RasterBand, RangeFromMetadataOrComputedExactly) {
    RasterDef def;
    def.type = GDT_Int16;
    def.width = 300;
    def.height = 200;
    def.value = [](int, int c, int r) { return (c == 123 && r == 177) ? -31000.0 : (c * 7 + r) % 1000; };
    const std::wstring path = writeRaster("range.tif", def);
    {
        CRasterSource raster;
        ASSERT_EQ(raster.Open(path), GIS_OK);
        EXPECT_EQ(raster.GetRasterBand(1)->GetMinimum(), -31000.0); // a single pixel: no sampling shortcut
        EXPECT_EQ(raster.GetRasterBand(1)->GetMaximum(), 999.0);
    }
    {
        std::unique_ptr<GDALDataset> ds(GDALDataset::Open(CommonFun::U2M(path).c_str(), GDAL_OF_UPDATE));
        ds->GetRasterBand(1)->SetMetadataItem("STATISTICS_MINIMUM", "1");
        ds->GetRasterBand(1)->SetMetadataItem("STATISTICS_MAXIMUM", "99.5");
    }
    CRasterSource raster;
    ASSERT_EQ(raster.Open(path), GIS_OK);
    EXPECT_EQ(raster.GetRasterBand(1)->GetMinimum(), 1.0);
    EXPECT_EQ(raster.GetRasterBand(1)->GetMaximum(), 99.5);
}

TEST(RasterSource, FormatCodesFromPathsAndBack) {
    EXPECT_EQ(CRasterSource::GetDataFormat(L"/d/out.tif"), 38);
    EXPECT_EQ(CRasterSource::GetDataFormat(L"/d/OUT.TIF"), 38);
    EXPECT_EQ(CRasterSource::GetDataFormat(L"/d/out.tiff"), 38);
    EXPECT_EQ(CRasterSource::GetDataFormat(L"/d/out.img"), 20);
    EXPECT_EQ(CRasterSource::GetDataFormat(L"/d/out.pix"), 21);
    EXPECT_EQ(CRasterSource::GetDataFormat(L"/d/out.xyz"), 0);
    EXPECT_EQ(CRasterSource::GetDataFormat(L"/d/out"), 0);
    EXPECT_EQ(CRasterSource::GetDataFormat(L"/d/run.tif/out"), 0);
    GDALAllRegister();
    for (int code : {RDF_GTiff, RDF_HFA, RDF_PCIDSK, RDF_ENVI, RDF_BMP, RDF_ERS, RDF_NITF, RDF_BT}) {
        const char* name = GdalDriverName(code);
        ASSERT_NE(name, nullptr) << code;
        GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(name);
        ASSERT_NE(driver, nullptr) << name;
        EXPECT_TRUE(driver->GetMetadataItem(GDAL_DCAP_CREATE)) << name << " cannot create";
        // A path with the format's extension maps back to the same code.
        EXPECT_EQ(CRasterSource::GetDataFormat(std::wstring(L"x.") + CommonFun::M2U(FormatExtension(code))), code);
    }
    EXPECT_EQ(GdalDriverName(0), nullptr);
}

TEST(ShapeStatistics, MatchANaiveReference) {
    RasterDef def;
    def.width = 40;
    def.height = 30;
    def.bands = 3;
    def.type = GDT_UInt16;
    def.geoTransform = {1000, 2, 0, 5000, 0, -2};
    std::mt19937 rng(7);
    std::vector<double> noise(3 * 40 * 30);
    for (double& v : noise)
        v = rng() % 4000 + 60000; // large offset: precision must not suffer
    def.value = [&](int b, int c, int r) { return noise[((b - 1) * 30 + r) * 40 + c] - (b == 2 ? c * 13 : 0); };
    CRasterSource raster;
    ASSERT_EQ(raster.Open(writeRaster("stats.tif", def)), GIS_OK);

    const auto check = [&](const CDrawShape& shape, const std::vector<CPoint2D>& ring) {
        SCOPED_TRACE(shape.GetType() == DRAWSHAPE_RECTANGLE ? "rectangle" : "polygon");
        const NaiveStats want = naiveStats(def, ring);
        ASSERT_GT(want.n, 0);
        std::int64_t n = 0;
        std::vector<double> mn(3), mx(3), mean(3), cov(9);
        ASSERT_TRUE(CRasterAlgorithm::ComputeStaticsFromDrawshape(&raster, &shape, n, mn.data(), mx.data(),
                                                                  mean.data(), cov.data(), nullptr));
        EXPECT_EQ(n, want.n);
        for (int b = 0; b < 3; ++b) {
            EXPECT_EQ(mn[b], want.min[b]);
            EXPECT_EQ(mx[b], want.max[b]);
            EXPECT_NEAR(mean[b], want.mean[b], 1e-9 * std::abs(want.mean[b]));
        }
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                EXPECT_NEAR(cov[i * 3 + j], want.cov[i * 3 + j], 1e-6 * (1 + std::abs(want.cov[i * 3 + j])));
                EXPECT_EQ(cov[i * 3 + j], cov[j * 3 + i]);
            }
    };
    // A rectangle given by two corners (in any order) and a concave polygon
    // whose edges cross pixel rows at odd angles. No pixel centre lies exactly
    // on an edge: how such ties go is the rasterizer's business, not the rule's.
    const CPoint2D a{1000 + 2 * 3.3, 5000 - 2 * 4.1}, b{1000 + 2 * 17.6, 5000 - 2 * 21.2};
    check(CDrawShape(DRAWSHAPE_RECTANGLE, {b, a}), {{a.x, a.y}, {b.x, a.y}, {b.x, b.y}, {a.x, b.y}});
    const auto ground = [](double col, double row) { return CPoint2D{1000 + 2 * col, 5000 - 2 * row}; };
    const std::vector<CPoint2D> concave{ground(2.2, 2.3),  ground(37.3, 3.4), ground(20.3, 12.7),
                                        ground(36.4, 27.9), ground(3.6, 26.2), ground(11.2, 14.1)};
    check(CDrawShape(DRAWSHAPE_POLYGON, concave), concave);

    // A point takes the one pixel it falls in.
    std::int64_t n = 0;
    std::vector<double> mn(3), mx(3), mean(3), cov(9, 1.0);
    const CDrawShape point(DRAWSHAPE_POINT, {ground(7.9, 4.2)});
    ASSERT_TRUE(CRasterAlgorithm::ComputeStaticsFromDrawshape(&raster, &point, n, mn.data(), mx.data(), mean.data(),
                                                              cov.data()));
    EXPECT_EQ(n, 1);
    EXPECT_EQ(mean[1], def.value(2, 7, 4));
    EXPECT_EQ(cov[4], 0.0);
    // Outside the raster: nothing, and the arrays say so.
    const CDrawShape outside(DRAWSHAPE_RECTANGLE, {ground(50, 50), ground(60, 60)});
    EXPECT_FALSE(CRasterAlgorithm::ComputeStaticsFromDrawshape(&raster, &outside, n, mn.data(), mx.data(),
                                                               mean.data(), cov.data()));
    EXPECT_EQ(n, 0);
    EXPECT_EQ(mean[0], 0.0);
}

TEST(AreaOfInterest, ShapefileInAnotherCrsLandsOnTheRightPixels) {
    // Raster in web mercator, 100 m pixels; the AOI is a lon/lat polygon
    // whose corners were projected by the spherical mercator formula to the
    // pixel corners (10, 5) and (20, 15).
    RasterDef def;
    def.width = 40;
    def.height = 30;
    def.epsg = 3857;
    def.geoTransform = {1000000, 100, 0, 6000000, 0, -100};
    CRasterSource raster;
    ASSERT_EQ(raster.Open(writeRaster("mercator.tif", def)), GIS_OK);

    constexpr double R = 6378137.0;
    const auto lonlat = [&](double col, double row) {
        const double x = 1000000 + col * 100, y = 6000000 - row * 100;
        return CPoint2D{x / R * 180 / std::numbers::pi, (2 * std::atan(std::exp(y / R)) - std::numbers::pi / 2) * 180 / std::numbers::pi};
    };
    const fs::path shp = tempDir() / "aoi.shp";
    {
        GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
        std::unique_ptr<GDALDataset> ds(driver->Create(shp.string().c_str(), 0, 0, 0, GDT_Unknown, nullptr));
        OGRSpatialReference wgs84;
        wgs84.importFromEPSG(4326);
        OGRLayer* layer = ds->CreateLayer("aoi", &wgs84, wkbPolygon, nullptr);
        OGRFeature feature(layer->GetLayerDefn());
        OGRLinearRing ring;
        for (auto [c, r] : std::vector<std::pair<double, double>>{{10, 5}, {20, 5}, {20, 15}, {10, 15}, {10, 5}}) {
            const CPoint2D p = lonlat(c, r);
            ring.addPoint(p.x, p.y);
        }
        OGRPolygon polygon;
        polygon.addRing(&ring);
        feature.SetGeometry(&polygon);
        ASSERT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
    }
    CAOISource aoi;
    ASSERT_EQ(aoi.Open(CommonFun::M2U(shp.string())), GIS_OK);
    CRasterAOI onRaster(&raster, &aoi);
    ASSERT_TRUE(onRaster.Initialize());
    const PixelRect rect = onRaster.GetRect();
    EXPECT_EQ(rect.left, 10);
    EXPECT_EQ(rect.top, 5);
    EXPECT_EQ(rect.right, 20);
    EXPECT_EQ(rect.bottom, 15);
    std::vector<std::uint8_t> mask;
    ASSERT_TRUE(onRaster.GetMask(8, 3, 16, 14, mask));
    for (int r = 0; r < 14; ++r)
        for (int c = 0; c < 16; ++c) {
            const bool inside = c + 8 >= 10 && c + 8 < 20 && r + 3 >= 5 && r + 3 < 15;
            ASSERT_EQ(mask[r * 16 + c], inside ? 1 : 0) << "pixel " << c + 8 << "," << r + 3;
        }

    // The same polygon far away does not apply; a missing or non-polygon file does not open.
    RasterDef elsewhere = def;
    elsewhere.geoTransform = {-9000000, 100, 0, -2000000, 0, -100};
    CRasterSource other;
    ASSERT_EQ(other.Open(writeRaster("elsewhere.tif", elsewhere)), GIS_OK);
    CRasterAOI offRaster(&other, &aoi);
    EXPECT_FALSE(offRaster.Initialize());
    CAOISource missing;
    EXPECT_NE(missing.Open(CommonFun::M2U((tempDir() / "none.shp").string())), GIS_OK);
    EXPECT_NE(missing.Open(raster.GetPath()), GIS_OK);
}

TEST(AreaOfInterest, AifPolygonsInGroundCoordinates) {
    RasterDef def;
    def.width = 20;
    def.height = 10;
    CRasterSource raster;
    ASSERT_EQ(raster.Open(writeRaster("aif-target.tif", def)), GIS_OK);
    const auto ground = [](double col, double row) { return CPoint2D{500000 + 30 * col, 4000000 - 30 * row}; };
    // A triangle without a CRS (taken as the raster's) and a square partly off the raster.
    AifContent content;
    content.polygons = {{ground(1, 1), ground(7.3, 1), ground(1, 7.3)},
                        {ground(16, 6), ground(24, 6), ground(24, 14), ground(16, 14)}};
    const std::wstring path = CommonFun::M2U((tempDir() / "two.aif").string());
    ASSERT_TRUE(WriteAifFile(path, content));
    CAOISource aoi;
    ASSERT_EQ(aoi.Open(path), GIS_OK);
    CRasterAOI onRaster(&raster, &aoi);
    ASSERT_TRUE(onRaster.Initialize());
    const PixelRect rect = onRaster.GetRect();
    EXPECT_EQ(rect.left, 1);
    EXPECT_EQ(rect.top, 1);
    EXPECT_EQ(rect.right, 20); // clipped to the raster
    EXPECT_EQ(rect.bottom, 10);
    std::vector<std::uint8_t> mask;
    ASSERT_TRUE(onRaster.GetMask(0, 0, 20, 10, mask));
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 20; ++c) {
            const double x = c + 0.5, y = r + 0.5;
            const bool triangle = x > 1 && y > 1 && x + y < 8.3;
            const bool square = x > 16 && y > 6;
            ASSERT_EQ(mask[r * 20 + c], (triangle || square) ? 1 : 0) << c << "," << r;
        }
    // A window away from both polygons is all 0; a corrupt file does not open.
    ASSERT_TRUE(onRaster.GetMask(9, 0, 5, 4, mask));
    EXPECT_TRUE(std::all_of(mask.begin(), mask.end(), [](std::uint8_t m) { return m == 0; }));
    std::ofstream(tempDir() / "bad.aif") << "TESSERA-AIF 1\npolygon 2\n1 2\n";
    EXPECT_NE(aoi.Open(CommonFun::M2U((tempDir() / "bad.aif").string())), GIS_OK);
    EXPECT_FALSE(aoi.IsOpen());
}
