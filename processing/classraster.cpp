#include "processing/classraster.h"

#include "base/commonfun.h"
#include "base/wintypes.h"
#include "engine/classifiedassistantfile.h"
#include "engine/formatio.h"
#include "engine/rastersource.h"
#include "processing/distributed.h"

#include <gdal_priv.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <unistd.h>

namespace tessera {

namespace fs = std::filesystem;

namespace {

// Quiet GDAL errors inside a scope; failures are reported through results.
struct QuietErrors {
    QuietErrors() { CPLPushErrorHandler(CPLQuietErrorHandler); }
    ~QuietErrors() { CPLPopErrorHandler(); }
};

GDALDriver* driverFor(int format) {
    const char* name = GdalDriverName(format);
    return name ? GetGDALDriverManager()->GetDriverByName(name) : nullptr;
}

} // namespace

std::vector<ClassDefinition> NumberedClasses(int count) {
    std::vector<ClassDefinition> classes{{L"Unclassified", 0}};
    const std::vector<std::uint32_t> colours = DistinctClassColours(count);
    for (int i = 1; i <= count; ++i)
        classes.push_back({L"Class " + std::to_wstring(i), colours[i - 1]});
    return classes;
}

namespace {

bool written(const std::vector<ClassDefinition>& classes, const std::vector<std::int64_t>& counts,
             size_t value) {
    return value == 0 || classes[value].listed || (value < counts.size() && counts[value] > 0);
}

} // namespace

GDALDefaultRasterAttributeTable ClassAttributeTable(const std::vector<ClassDefinition>& classes,
                                                    const std::vector<std::int64_t>& counts) {
    GDALDefaultRasterAttributeTable table;
    table.SetTableType(GRTT_THEMATIC);
    table.CreateColumn("Value", GFT_Integer, GFU_MinMax);
    table.CreateColumn("Class_Name", GFT_String, GFU_Name);
    table.CreateColumn("Red", GFT_Integer, GFU_Red);
    table.CreateColumn("Green", GFT_Integer, GFU_Green);
    table.CreateColumn("Blue", GFT_Integer, GFU_Blue);
    // Integer columns hold 32 bits: larger counts go in a real column.
    const bool wide = std::any_of(counts.begin(), counts.end(), [](std::int64_t c) { return c > INT32_MAX; });
    table.CreateColumn("Count", wide ? GFT_Real : GFT_Integer, GFU_PixelCount);
    int row = 0;
    for (size_t v = 0; v < classes.size(); ++v) {
        if (!written(classes, counts, v))
            continue;
        const std::uint32_t c = classes[v].colour;
        const std::int64_t count = v < counts.size() ? counts[v] : 0;
        table.SetValue(row, 0, static_cast<int>(v));
        table.SetValue(row, 1, CommonFun::U2M(classes[v].name).c_str());
        table.SetValue(row, 2, static_cast<int>(c & 0xFF));
        table.SetValue(row, 3, static_cast<int>((c >> 8) & 0xFF));
        table.SetValue(row, 4, static_cast<int>((c >> 16) & 0xFF));
        if (wide)
            table.SetValue(row, 5, static_cast<double>(count));
        else
            table.SetValue(row, 5, static_cast<int>(count));
        ++row;
    }
    return table;
}

ClassRasterWriter::ClassRasterWriter() = default;

ClassRasterWriter::~ClassRasterWriter() {
    if (!m_committed)
        Abort();
}

int ClassRasterWriter::ResolveFormat(int formatCode, const std::wstring& path) {
    if (GdalDriverName(formatCode))
        return formatCode;
    const int fromPath = CRasterSource::GetDataFormat(path);
    return fromPath != RDF_Unknown ? fromPath : RDF_GTiff;
}

namespace {

// Keeps the first message GDAL reports while it is installed.
void CPL_STDCALL keepFirstMessage(CPLErr, CPLErrorNum, const char* message) {
    auto* first = static_cast<std::string*>(CPLGetErrorHandlerUserData());
    if (first->empty() && message)
        *first = message;
}

} // namespace

CPLStringList ClassRasterWriter::CreationOptions(int formatCode, const std::wstring& path,
                                                 const std::vector<std::string>& given, std::wstring& error) {
    GDALAllRegister();
    error.clear();
    CPLStringList options;
    GDALDriver* driver = driverFor(ResolveFormat(formatCode, path));
    if (!driver) {
        error = L"no GDAL driver writes the output format";
        return options;
    }
    const std::string name = driver->GetDescription();
    if (name == "GTiff") {
        options.SetNameValue("TILED", "YES");
        options.SetNameValue("COMPRESS", "DEFLATE");
        // Level 1 writes a class map in half the time of the default 6, for
        // files about a fifth larger.
        options.SetNameValue("ZLEVEL", "1");
        options.SetNameValue("NUM_THREADS", "ALL_CPUS");
        options.SetNameValue("BIGTIFF", "IF_SAFER");
    } else if (name == "HFA") {
        options.SetNameValue("COMPRESSED", "YES");
    }
    for (const std::string& pair : given) {
        const size_t eq = pair.find('=');
        if (eq == 0 || eq == std::string::npos || eq + 1 == pair.size()) {
            error = L"creation options are KEY=VALUE (got '" + CommonFun::M2U(pair) + L"')";
            return options;
        }
        options.SetNameValue(pair.substr(0, eq).c_str(), pair.substr(eq + 1).c_str());
    }
    const char* compress = options.FetchNameValue("COMPRESS");
    if (name == "GTiff" && (!compress || !EQUAL(compress, "DEFLATE")) &&
        std::none_of(given.begin(), given.end(),
                     [](const std::string& pair) { return EQUALN(pair.c_str(), "ZLEVEL=", 7); }))
        options.SetNameValue("ZLEVEL", nullptr); // the default level belongs to the default compression
    std::string refused;
    CPLPushErrorHandlerEx(keepFirstMessage, &refused);
    const bool valid = GDALValidateCreationOptions(driver, options.List()) != FALSE;
    CPLPopErrorHandler();
    if (!valid)
        error = CommonFun::M2U(refused.empty() ? "the " + name + " driver refuses the creation options"
                                               : refused);
    return options;
}

std::string PartialFilePrefix(const std::wstring& target) {
    static std::atomic<unsigned> counter{0};
    return "." + fs::path(CommonFun::U2M(target)).stem().string() + ".partial-" + std::to_string(::getpid()) +
           "-" + std::to_string(counter++);
}

void CopyGrid(GDALDataset& dataset, const CRasterSource& reference) {
    std::array<double, 6> transform = reference.GetGeoTransform();
    dataset.SetGeoTransform(transform.data());
    if (const std::string wkt = reference.GetProjectionWkt(); !wkt.empty())
        dataset.SetProjection(wkt.c_str());
}

bool ClassRasterWriter::fail(const std::wstring& message) {
    m_error = message;
    return false;
}

bool ClassRasterWriter::Create(const std::wstring& target, int formatCode, const CRasterSource& reference,
                               int maxClass, const std::vector<std::string>& creationOptions) {
    // Under mpirun every rank writes its part: one failing fails them all
    // before the labelling pass.
    const bool created = create(target, formatCode, reference, maxClass, creationOptions);
    Communicator& cluster = Cluster();
    if (cluster.Shared() && cluster.AgreeOnError(!created, m_error)) {
        Abort();
        return false;
    }
    return created;
}

bool ClassRasterWriter::create(const std::wstring& target, int formatCode, const CRasterSource& reference,
                               int maxClass, const std::vector<std::string>& creationOptions) {
    GDALAllRegister();
    QuietErrors quiet;
    const int format = ResolveFormat(formatCode, target);
    GDALDriver* driver = driverFor(format);
    if (!driver)
        return fail(L"No GDAL driver writes the output format " + std::to_wstring(format) + L".");
    m_driver = driver->GetDescription();
    m_target = target;
    m_maxClass = maxClass;
    m_counts.assign(static_cast<size_t>(maxClass) + 1, 0);

    // The temporary file keeps the target's extension, so drivers that name
    // side files after it (ENVI's .hdr, IMAGINE's .ige) do the same.
    // Its name is ".<stem>.partial-<pid>-<n><ext>"; the side files share the prefix.
    const fs::path finalPath(CommonFun::U2M(target));
    const std::string ext = finalPath.extension().string();
    m_folder = finalPath.has_parent_path() ? finalPath.parent_path().string() : std::string(".");
    // Under mpirun the ranks' parts sit beside each other, possibly from
    // several hosts: the rank tells them apart.
    const int rank = Cluster().Rank();
    m_tempPrefix = PartialFilePrefix(target) + (rank > 0 ? "-rank" + std::to_string(rank) : std::string());
    m_tempPath = (fs::path(m_folder) / (m_tempPrefix + ext)).string();

    const GDALDataType type = maxClass <= 255 ? GDT_Byte : GDT_UInt16;
    std::wstring refused;
    CPLStringList options = CreationOptions(format, target, creationOptions, refused);
    if (!refused.empty())
        return fail(L"Cannot create the output image " + target + L": " + refused);
    if (m_driver == "GTiff" && rank > 0) {
        // A part holds only its rank's blocks, and rank 0 reads it once:
        // the fastest compression that still keeps it small.
        options.SetNameValue("SPARSE_OK", "TRUE");
        options.SetNameValue("COMPRESS", "ZSTD");
        options.SetNameValue("ZSTD_LEVEL", "1");
    }
    const int width = reference.GetWidth(), height = reference.GetHeight();
    m_dataset.reset(driver->Create(m_tempPath.c_str(), width, height, 1, type, options.List()));
    if (!m_dataset)
        return fail(L"Cannot create the output image " + target + L": " +
                    CommonFun::M2U(CPLGetLastErrorMsg()));
    CopyGrid(*m_dataset, reference);
    m_dataset->GetRasterBand(1)->SetNoDataValue(0); // 0 is "Unclassified"
    const std::array<double, 6> transform = reference.GetGeoTransform();
    m_pixelSizeX = transform[1];
    m_pixelSizeY = transform[5];
    return true;
}

bool ClassRasterWriter::WriteBlock(int x, int y, int width, int height, const std::uint16_t* labels) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_dataset)
        return fail(L"The output image is not open.");
    const size_t pixels = static_cast<size_t>(width) * height;
    for (size_t i = 0; i < pixels; ++i) {
        if (labels[i] > m_maxClass)
            return fail(L"Class value " + std::to_wstring(labels[i]) + L" is beyond the class table.");
        ++m_counts[labels[i]];
    }
    QuietErrors quiet;
    if (m_dataset->GetRasterBand(1)->RasterIO(GF_Write, x, y, width, height,
                                              const_cast<std::uint16_t*>(labels), width, height, GDT_UInt16,
                                              0, 0, nullptr) != CE_None)
        return fail(L"Writing the output image failed: " + CommonFun::M2U(CPLGetLastErrorMsg()));
    return true;
}

bool ClassRasterWriter::CloseAsPart() {
    std::lock_guard<std::mutex> lock(m_mutex);
    QuietErrors quiet;
    CPLErrorReset();
    m_dataset.reset();
    m_part = true;
    if (CPLGetLastErrorType() == CE_Failure)
        return fail(L"Writing the output image failed: " + CommonFun::M2U(CPLGetLastErrorMsg()));
    return true;
}

bool ClassRasterWriter::Commit(const std::vector<ClassDefinition>& classes,
                               const std::map<std::string, std::string>& metadata) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_part) {
        abortLocked(); // rank 0 has copied it into the output
        return true;
    }
    if (!m_dataset)
        return fail(L"The output image is not open.");
    if (static_cast<int>(classes.size()) < m_maxClass + 1)
        return fail(L"The class table is shorter than the class values written.");
    QuietErrors quiet;
    GDALRasterBand* band = m_dataset->GetRasterBand(1);
    GDALColorTable table;
    CPLStringList names;
    for (size_t i = 0; i < classes.size(); ++i) {
        const std::uint32_t c = classes[i].colour;
        const GDALColorEntry entry{static_cast<short>(c & 0xFF), static_cast<short>((c >> 8) & 0xFF),
                                   static_cast<short>((c >> 16) & 0xFF),
                                   static_cast<short>(i == 0 ? 0 : 255)};
        table.SetColorEntry(static_cast<int>(i), &entry);
        names.AddString(classes[i].listed ? CommonFun::U2M(classes[i].name).c_str() : "");
    }
    band->SetColorTable(&table); // some formats keep no colour table: not an error
    band->SetCategoryNames(names.List());
    const GDALDefaultRasterAttributeTable attributes = ClassAttributeTable(classes, m_counts);
    band->SetDefaultRAT(&attributes);
    band->SetDescription("class");
    for (const auto& [key, value] : metadata)
        m_dataset->SetMetadataItem(key.c_str(), value.c_str(), "TESSERA");

    CPLErrorReset();
    m_dataset.reset(); // flushes; a failed flush is left in the error state
    if (CPLGetLastErrorType() == CE_Failure) {
        abortLocked();
        return fail(L"Writing the output image failed: " + CommonFun::M2U(CPLGetLastErrorMsg()));
    }

    // The image and its side files move into place together with the assistant
    // file (whose writer also goes through a temporary name): at the end of the
    // run when an output set is active, else now, the image first.
    CClassifiedAssistantFile acf;
    for (size_t i = 0; i < classes.size(); ++i)
        if (written(classes, m_counts, i))
            acf.AddClass(classes[i].name, static_cast<int>(i), i < m_counts.size() ? m_counts[i] : 0,
                         classes[i].colour);
    acf.SetPixelSize(m_pixelSizeX, m_pixelSizeY);
    const std::wstring acfPath = PairedAssistantFilePath(m_target);
    const std::string target = CommonFun::U2M(m_target);
    const std::string stem = fs::path(target).stem().string();
    formatio::StagedFiles files;
    for (const std::string& file : temporaryFiles()) {
        const std::string rest = fs::path(file).filename().string().substr(m_tempPrefix.size());
        files.moves.emplace_back(file, (fs::path(m_folder) / (stem + rest)).string());
    }
    // Side files an earlier image may have that would not fit the new one.
    for (const char* side : {".aux.xml", ".ovr", ".msk"})
        files.obsolete.push_back(target + side);
    std::string error;
    if (files.moves.empty() || !formatio::PlaceFiles(std::move(files), error)) {
        abortLocked();
        return fail(L"Cannot move the output image into place: " + m_target +
                    (error.empty() ? L"" : L": " + CommonFun::M2U(error)));
    }
    m_committed = true;
    if (!acf.WriteClassifiedAssistantFile(acfPath)) {
        if (!formatio::OutputSet::Active()) {
            GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(m_driver.c_str());
            if (driver)
                driver->Delete(target.c_str());
        }
        return fail(L"Cannot write the classification assistant file " + acfPath + L": " +
                    CommonFun::M2U(acf.GetLastError()));
    }
    return true;
}

std::vector<std::string> ClassRasterWriter::temporaryFiles() const {
    // The image and its side files: the prefix, then nothing or an extension
    // (ERMapper's data file has none).
    std::vector<std::string> files;
    for (const std::string& file : formatio::FilesStartingWith(m_folder, m_tempPrefix)) {
        const std::string rest = fs::path(file).filename().string().substr(m_tempPrefix.size());
        if (rest.empty() || rest[0] == '.')
            files.push_back(file);
    }
    return files;
}

void ClassRasterWriter::Abort() {
    std::lock_guard<std::mutex> lock(m_mutex);
    abortLocked();
}

void ClassRasterWriter::abortLocked() {
    m_dataset.reset();
    if (!m_tempPath.empty() && !m_committed) {
        QuietErrors quiet;
        if (GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(m_driver.c_str()))
            driver->Delete(m_tempPath.c_str());
        std::error_code ec;
        for (const std::string& file : temporaryFiles())
            fs::remove(file, ec);
    }
}

} // namespace tessera
