#include "processing/polygonize.h"

#include "engine/formatio.h"

#include "base/commonfun.h"
#include "engine/classlist.h"
#include "engine/rastersource.h"
#include "processing/classstatistics.h"
#include "processing/progress.h"

#include <gdal_alg.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <memory>
#include <unistd.h>

using namespace tessera;

namespace fs = std::filesystem;

namespace {

// Quiet GDAL errors inside a scope; failures are reported through results.
struct QuietErrors {
    QuietErrors() { CPLPushErrorHandler(CPLQuietErrorHandler); }
    ~QuietErrors() { CPLPopErrorHandler(); }
};

std::wstring lastGdalError() {
    const char* message = CPLGetLastErrorMsg();
    return message && *message ? CommonFun::M2U(message) : std::wstring(L"unknown GDAL error");
}

std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The vector driver that creates files with this extension, or "".
std::string vectorDriverForExtension(const std::string& extension) {
    const std::string wanted = lowerAscii(extension);
    if (wanted.empty())
        return {};
    if (wanted == "shp")
        return "ESRI Shapefile";
    GDALDriverManager* manager = GetGDALDriverManager();
    for (int i = 0; i < manager->GetDriverCount(); ++i) {
        GDALDriver* driver = manager->GetDriver(i);
        if (!driver->GetMetadataItem(GDAL_DCAP_VECTOR) || !driver->GetMetadataItem(GDAL_DCAP_CREATE))
            continue;
        const char* list = driver->GetMetadataItem(GDAL_DMD_EXTENSIONS);
        if (!list)
            list = driver->GetMetadataItem(GDAL_DMD_EXTENSION);
        if (!list)
            continue;
        const CPLStringList extensions(CSLTokenizeString2(list, " ", 0));
        for (int e = 0; e < extensions.size(); ++e)
            if (lowerAscii(extensions[e]) == wanted)
                return driver->GetDescription();
    }
    return {};
}

// Band 1 of the classified image seen as 1 (a chosen class) or 0 (anything
// else), block by block: the polygonizer's mask, so unchosen classes give no
// polygons. Nothing is held beyond the block being read.
class ChosenClassMaskBand : public GDALRasterBand {
public:
    ChosenClassMaskBand(GDALDataset* owner, GDALRasterBand* classes,
                        const std::map<int, std::wstring>& chosen)
        : m_classes(classes) {
        poDS = owner;
        nBand = 1;
        nRasterXSize = classes->GetXSize();
        nRasterYSize = classes->GetYSize();
        eDataType = GDT_Byte;
        eAccess = GA_ReadOnly;
        classes->GetBlockSize(&nBlockXSize, &nBlockYSize);
        for (const auto& entry : chosen)
            m_sorted.push_back(entry.first);
        // A lookup table when the chosen values are close together (the usual
        // case), a search otherwise.
        m_low = m_sorted.front();
        const long long span = static_cast<long long>(m_sorted.back()) - m_low + 1;
        if (span <= (1 << 20)) {
            m_chosen.assign(static_cast<size_t>(span), 0);
            for (int value : m_sorted)
                m_chosen[static_cast<size_t>(static_cast<long long>(value) - m_low)] = 1;
        }
    }

protected:
    CPLErr IReadBlock(int blockX, int blockY, void* data) override {
        const int x = blockX * nBlockXSize, y = blockY * nBlockYSize;
        const int width = std::min(nBlockXSize, nRasterXSize - x),
                  height = std::min(nBlockYSize, nRasterYSize - y);
        std::memset(data, 0, static_cast<size_t>(nBlockXSize) * nBlockYSize);
        m_values.resize(static_cast<size_t>(width) * height);
        if (m_classes->RasterIO(GF_Read, x, y, width, height, m_values.data(), width, height, GDT_Int32, 0, 0,
                                nullptr) != CE_None)
            return CE_Failure;
        auto* out = static_cast<std::uint8_t*>(data);
        for (int r = 0; r < height; ++r)
            for (int c = 0; c < width; ++c) {
                if (isChosen(m_values[static_cast<size_t>(r) * width + c]))
                    out[static_cast<size_t>(r) * nBlockXSize + c] = 1;
            }
        return CE_None;
    }

private:
    bool isChosen(std::int32_t value) const {
        if (m_chosen.empty())
            return std::binary_search(m_sorted.begin(), m_sorted.end(), value);
        const long long offset = static_cast<long long>(value) - m_low;
        return offset >= 0 && offset < static_cast<long long>(m_chosen.size()) && m_chosen[offset];
    }

    GDALRasterBand* m_classes;
    std::vector<int> m_sorted; // chosen class values, ascending
    long long m_low = 0;
    std::vector<std::uint8_t> m_chosen; // indexed by class value - m_low
    std::vector<std::int32_t> m_values;
};

class ChosenClassMask : public GDALDataset {
public:
    ChosenClassMask(GDALRasterBand* classes, const std::map<int, std::wstring>& chosen) {
        nRasterXSize = classes->GetXSize();
        nRasterYSize = classes->GetYSize();
        SetBand(1, new ChosenClassMaskBand(this, classes, chosen));
    }
};

// The polygonizer writes the class value of each polygon; this layer adds
// the class name on the way to the real layer, so features are written once.
class NamingLayer : public OGRLayer {
public:
    NamingLayer(OGRLayer* target, int nameField, const std::map<int, std::string>& names)
        : m_target(target), m_nameField(nameField), m_names(names) {}

    OGRFeatureDefn* GetLayerDefn() override { return m_target->GetLayerDefn(); }
    void ResetReading() override {}
    OGRFeature* GetNextFeature() override { return nullptr; }
    int TestCapability(const char* capability) override { return m_target->TestCapability(capability); }
    long long Written() const { return m_written; }

protected:
    OGRErr ICreateFeature(OGRFeature* feature) override {
        const auto it = m_names.find(feature->GetFieldAsInteger(0));
        if (it != m_names.end())
            feature->SetField(m_nameField, it->second.c_str());
        const OGRErr result = m_target->CreateFeature(feature);
        if (result == OGRERR_NONE)
            ++m_written;
        return result;
    }

private:
    OGRLayer* m_target;
    int m_nameField;
    const std::map<int, std::string>& m_names;
    long long m_written = 0;
};

int progressBridge(double fraction, const char*, void* data) {
    const auto* fn = static_cast<const ProgressFn*>(data);
    return (*fn)(fraction) ? TRUE : FALSE;
}

// Every file of the folder whose name starts with prefix.
std::vector<fs::path> filesStartingWith(const fs::path& folder, const std::string& prefix) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.compare(0, prefix.size(), prefix) == 0)
            files.push_back(it->path());
    }
    return files;
}

void removeFiles(const std::vector<fs::path>& files) {
    std::error_code ec;
    for (const fs::path& f : files)
        fs::remove(f, ec);
}

} // namespace

int ShapeFileFlagForPath(const std::wstring& outputPath) {
    return CommonFun::GetExtensionName(outputPath) == L"shp" ? 1 : 0;
}

CRasterPolygonize::CRasterPolygonize(const AlgorithmParam* param, CBaseProgress* progress)
    : CBaseAlgorithm(CopyRecordAs<CRasterPolygonizeParam>(param)) {
    SetProgress(progress);
}

bool CRasterPolygonize::Preproccess() {
    const CRasterPolygonizeParam& p = Param();
    if (p.m_classMap.empty())
        return Fail(L"No class was chosen to vectorize.");
    if (p.m_connectivity != 0 && p.m_connectivity != 4 && p.m_connectivity != 8)
        return Fail(L"The connectivity must be 4 or 8 (got " + std::to_wstring(p.m_connectivity) + L").");
    if (!CBaseAlgorithm::Preproccess())
        return false;
    if (m_input->GetBandCount() != 1)
        return Fail(L"The input " + p.m_inputPath + L" is not a classified image: it has " +
                    std::to_wstring(m_input->GetBandCount()) + L" bands, a classified image has one.");
    switch (m_input->GetRasterDataType()) {
    case PDT_Byte:
    case PDT_UInt16:
    case PDT_Int16:
    case PDT_UInt32:
    case PDT_Int32:
        break;
    default:
        return Fail(L"The input " + p.m_inputPath +
                    L" is not a classified image: its pixels are not whole numbers.");
    }

    RasterClassList list;
    std::wstring error;
    if (!ReadRasterClassList(p.m_inputPath, list, error))
        return Fail(error);
    m_classNames.clear();
    for (const auto& [key, number] : p.m_classMap) {
        const RasterClass* found = list.Find(number);
        if (!found)
            return Fail(L"Class " + std::to_wstring(number) + L" (" + key + L") is not in " +
                        list.SourceText() + L".");
        m_classNames[number] = found->name;
    }

    const std::wstring extension = CommonFun::GetExtensionName(p.m_outputPath);
    if (p.m_shapeFile == 1 && lowerAscii(CommonFun::U2M(extension)) != "shp")
        return Fail(L"A shapefile's name must end in .shp: " + p.m_outputPath);
    m_driverName = p.m_shapeFile == 1 ? std::string("ESRI Shapefile")
                                      : vectorDriverForExtension(CommonFun::U2M(extension));
    if (m_driverName.empty())
        return Fail(L"Cannot tell the vector format of " + p.m_outputPath + L" from its extension \"" +
                    extension +
                    L"\"; use .shp or another extension an OGR driver writes (.gpkg, .geojson ...).");
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(m_driverName.c_str());
    if (!driver || !driver->GetMetadataItem(GDAL_DCAP_CREATE))
        return Fail(L"The vector format " + CommonFun::M2U(m_driverName) + L" cannot create files.");
    return true;
}

bool CRasterPolygonize::Process() {
    m_polygonCount = 0;
    if (!Preproccess())
        return false;
    const CRasterPolygonizeParam& p = Param();
    QuietErrors quiet;

    // Temporary name beside the target: ".<stem>.partial-<pid>-<n>.<ext>";
    // its side files share the prefix and are moved with it.
    static std::atomic<int> counter{0};
    const fs::path target(CommonFun::U2M(p.m_outputPath));
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const std::string stem = target.stem().string();
    const std::string prefix =
        "." + stem + ".partial-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    const fs::path temporary = folder / (prefix + target.extension().string());
    // Whatever the run leaves under the prefix goes unless it is moved into place.
    struct Cleanup {
        fs::path folder;
        std::string prefix;
        bool keep = false;
        ~Cleanup() {
            if (!keep)
                removeFiles(filesStartingWith(folder, prefix + "."));
        }
    } cleanup{folder, prefix};

    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(m_driverName.c_str());
    GDALDatasetUniquePtr output(driver->Create(temporary.string().c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!output)
        return Fail(L"Cannot create the output file " + p.m_outputPath + L": " + lastGdalError());

    const OGRSpatialReference* crs = m_input->GetDataset()->GetSpatialRef();
    CPLStringList layerOptions;
    if (m_driverName == "ESRI Shapefile")
        layerOptions.SetNameValue("ENCODING", "UTF-8"); // class names in any script; writes the .cpg
    // Reference counted: the layer may keep a reference of its own.
    struct Release {
        void operator()(OGRSpatialReference* srs) const { srs->Release(); }
    };
    std::unique_ptr<OGRSpatialReference, Release> layerCrs(crs && !crs->IsEmpty() ? crs->Clone() : nullptr);
    OGRLayer* layer = output->CreateLayer(stem.c_str(), layerCrs.get(), wkbPolygon, layerOptions.List());
    if (!layer)
        return Fail(L"Cannot create a polygon layer in " + p.m_outputPath + L": " + lastGdalError());
    OGRFieldDefn classField(kPolygonClassField, OFTInteger);
    OGRFieldDefn nameField(kPolygonNameField, OFTString);
    if (m_driverName == "ESRI Shapefile")
        nameField.SetWidth(254); // the format's limit, in bytes
    if (layer->CreateField(&classField) != OGRERR_NONE || layer->CreateField(&nameField) != OGRERR_NONE)
        return Fail(L"Cannot create the attribute fields in " + p.m_outputPath + L": " + lastGdalError());
    const int nameIndex = layer->GetLayerDefn()->GetFieldIndex(kPolygonNameField);

    std::map<int, std::string> names;
    for (const auto& [number, name] : m_classNames)
        names[number] = CommonFun::U2M(name);
    NamingLayer naming(layer, nameIndex, names);
    ChosenClassMask mask(m_input->GetDataset()->GetRasterBand(1), m_classNames);
    CPLStringList options;
    if (p.m_connectivity == 8)
        options.SetNameValue("8CONNECTED", "8");

    const bool transaction =
        output->TestCapability(ODsCTransactions) && output->StartTransaction() == OGRERR_NONE;
    ProgressFn progress = Stage(0, 98, L"Tracing polygons");
    CPLErrorReset();
    const CPLErr traced =
        GDALPolygonize(GDALRasterBand::ToHandle(m_input->GetDataset()->GetRasterBand(1)),
                       GDALRasterBand::ToHandle(mask.GetRasterBand(1)), OGRLayer::ToHandle(&naming), 0,
                       options.List(), progressBridge, &progress);
    if (traced != CE_None) {
        if (IsCancelled())
            return false;
        return Fail(L"Tracing the polygons failed: " + lastGdalError());
    }
    if (transaction && output->CommitTransaction() != OGRERR_NONE)
        return Fail(L"Writing " + p.m_outputPath + L" failed: " + lastGdalError());
    if (IsCancelled())
        return false;

    ReportStep(L"Writing the file");
    CPLErrorReset();
    output.reset(); // closes and flushes
    if (CPLGetLastErrorType() == CE_Failure)
        return Fail(L"Writing " + p.m_outputPath + L" failed: " + lastGdalError());

    // Into place with its side files (at the end of the run when an output set
    // is active); side files of an earlier result the new one lacks go then.
    formatio::StagedFiles files;
    for (const fs::path& file : filesStartingWith(folder, prefix + ".")) {
        const std::string rest = file.filename().string().substr(prefix.size());
        files.moves.emplace_back(file.string(), (folder / (stem + rest)).string());
    }
    if (m_driverName == "ESRI Shapefile")
        for (const char* side : {".shp", ".shx", ".dbf", ".prj", ".cpg", ".qix", ".sbn", ".sbx", ".qpj"})
            files.obsolete.push_back((folder / (stem + side)).string());
    std::string error;
    if (!formatio::PlaceFiles(std::move(files), error))
        return Fail(L"Cannot move the output into place: " + CommonFun::M2U(error));
    cleanup.keep = true;
    m_polygonCount = naming.Written();
    ReportPercent(100);
    return true;
}
