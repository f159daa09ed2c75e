// tessera accuracy: the accuracy assessment of a classified image against
// check points, with the window's report writer, and the numbers as JSON
// with confidence intervals, kappa variance and area-adjusted estimates.
#include "base/commonfun.h"
#include "cli/cliprogress.h"
#include "cli/subcommands.h"
#include "engine/classifiedassistantfile.h"
#include "engine/classlist.h"
#include "engine/rasterband.h"
#include "engine/rastersource.h"
#include "processing/accuracyestimates.h"
#include "processing/accuracyjson.h"
#include "processing/accuracyreport.h"
#include "processing/blockprocessor.h"
#include "processing/randompoints.h"

#include <gdal_alg.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <ctime>
#include <fstream>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <queue>
#include <sstream>
#include <stdexcept>

using namespace tessera;

namespace {

using Failure = std::runtime_error;

CommandDef accuracyDef() {
    CommandDef def{
        "accuracy",
        "Accuracy assessment: error matrix, accuracy totals and kappa of a classified image.",
        {InputArg("CLASSIFIED", "classified image (one band of class values)", FileKind::Raster)},
        {
            StringOption("report", "OUT.txt", "the accuracy report to write")
                .Required()
                .Writes(FileKind::Text),
            StringOption("points", "CSV", "check points: header x,y,reference; pixel column and row")
                .Reads(FileKind::Csv),
            FlagOption("ground", "the CSV's x,y are ground coordinates, not pixel column and row"),
            IntOption("random", "N",
                      "N random check points among the pixels with a reference and a mapped class")
                .Range(1, 1000000),
            IntOption("stratified", "N", "N random check points in each class, drawn as --random")
                .Range(1, 1000000),
            IntOption("seed", "S", "seed of --random / --stratified; default the time in seconds")
                .Range(0, 4294967295.0),
            StringOption("reference", "RASTER|VECTOR",
                         "ground truth: a raster on the same grid, or with --reference-field a vector layer "
                         "(points, or polygons sampled at pixel centres); alone, every pixel with a "
                         "reference is a check point")
                .Reads(FileKind::RasterOrVector),
            StringOption("reference-field", "FIELD",
                         "the class field of a vector --reference: a class value, or a class name when the "
                         "field is text"),
            StringOption("json", "OUT.json", "also write the numbers, intervals and estimates as JSON")
                .Writes(FileKind::Json),
            StringOption("classes", "NAMES",
                         "class names NAME0,NAME1,... (value i is the i-th name) for an image without .acf"),
            FlagOption("no-matrix", "leave the error matrix out of the report"),
            FlagOption("no-accuracy", "leave the accuracy totals out of the report"),
            FlagOption("no-kappa", "leave the kappa statistics out of the report"),
        },
        ""};
    def.details =
        "Check points come from exactly one of --points, --random N --reference R,\n"
        "--stratified N --reference R, or --reference R alone. Classes come from the image's .acf,\n"
        "else from --classes, its attribute table, category names or pixel values; a class is its\n"
        "pixel value. --random and --stratified draw only pixels whose reference is not nodata and\n"
        "whose map value is a class, all of them when fewer exist, and say so. See docs/accuracy.md.";
    return def;
}

// ---- Inputs ----------------------------------------------------------------

struct Classes {
    std::vector<int> values;               // the pixel value of each class
    std::vector<std::wstring> names;       // as the report shows them
    std::vector<std::wstring> givenNames;  // as the image or --classes names them
    std::vector<std::int64_t> pixelCounts; // empty: unknown
    double pixelArea = 0;
    std::vector<int> index = std::vector<int>(65536, -1); // class position of each value, -1: none

    // The class position of a pixel value, -1 when it is no class.
    int Of(double value) const {
        const double t = std::trunc(value);
        return t >= 0 && t <= 65535 ? index[static_cast<size_t>(t)] : -1;
    }
    int Count() const { return static_cast<int>(values.size()); }
};

std::vector<std::wstring> splitNames(const std::string& list) {
    std::vector<std::wstring> names;
    std::string current;
    for (const char c : list) {
        if (c == ',') {
            names.push_back(CommonFun::M2U(current));
            current.clear();
        } else {
            current += c;
        }
    }
    names.push_back(CommonFun::M2U(current));
    return names;
}

Classes loadClasses(const std::string& imagePath, CRasterSource& image, const ParsedOptions& o) {
    Classes classes;
    const std::wstring wide = CommonFun::M2U(imagePath);
    if (o.Has("classes") && !AssistantFileExists(wide)) {
        // Value i is the i-th name.
        classes.names = splitNames(o.String("classes"));
        classes.givenNames = classes.names;
        for (size_t i = 0; i < classes.names.size() && i < 65536; ++i)
            classes.values.push_back(static_cast<int>(i));
    } else {
        const RasterClassList list = ReadClassList(imagePath, true);
        for (const RasterClass& c : list.classes) {
            classes.values.push_back(c.value);
            // Sparse codes show their value beside a name of their own.
            classes.names.push_back(list.Dense() || c.name == L"Class " + std::to_wstring(c.value)
                                        ? c.name
                                        : std::to_wstring(c.value) + L" " + c.name);
            classes.givenNames.push_back(c.name);
            classes.pixelCounts.push_back(c.pixelCount);
        }
        classes.pixelArea = std::fabs(list.pixelSizeX * list.pixelSizeY);
        if (o.Has("classes")) {
            const std::vector<std::wstring> names = splitNames(o.String("classes"));
            if (names.size() != classes.names.size())
                throw UsageError("--classes names " + std::to_string(names.size()) +
                                 " classes, the .acf has " + std::to_string(classes.names.size()));
            classes.names = names;
            classes.givenNames = names;
        }
    }
    // The error matrix holds n × n counts: beyond a few thousand classes it is no
    // longer a table anyone reads, and beyond 65,536 it does not fit in memory.
    constexpr size_t kMaxClasses = 4096;
    if (classes.names.size() > kMaxClasses)
        throw Failure("the accuracy assessment takes at most " + std::to_string(kMaxClasses) + " classes; " +
                      imagePath + " has " + std::to_string(classes.names.size()));
    for (int i = 0; i < classes.Count(); ++i)
        if (classes.index[classes.values[i]] < 0)
            classes.index[classes.values[i]] = i;
    if (classes.pixelArea == 0)
        classes.pixelArea = std::fabs(image.GetXResolution() * image.GetYResolution());
    return classes;
}

void openRaster(CRasterSource& raster, const std::string& path, const char* what) {
    if (raster.Open(CommonFun::M2U(path), GIS_READONLY, true) != GIS_OK)
        throw Failure("cannot open " + std::string(what) + " " + path);
    if (raster.GetBandCount() != 1)
        throw Failure(std::string(what) + " " + path + " has " + std::to_string(raster.GetBandCount()) +
                      " bands; a classified image has one");
}

// A pixel value as a class index: truncated toward zero; -1 (out of every
// class range) when it is not a finite number within int.
int classOf(double value) {
    const double t = std::trunc(value);
    if (!std::isfinite(t) || t < std::numeric_limits<int>::min() || t > std::numeric_limits<int>::max())
        return -1;
    return static_cast<int>(t);
}

// ---- Check points ----------------------------------------------------------

struct CheckPixel {
    int column = 0, row = 0;
    int reference = 0; // from the CSV; from the reference raster otherwise
};

std::string trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

template <class T> std::optional<T> parseWhole(const std::string& text) {
    T value{};
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    if (text.empty() || r.ec != std::errc() || r.ptr != end)
        return std::nullopt;
    return value;
}

std::optional<double> parseReal(const std::string& text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    if (text.empty() || r.ec != std::errc() || r.ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::vector<CheckPixel> readPointsCsv(const std::string& path, const CRasterSource& image, bool ground) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Failure("cannot read " + path);
    std::vector<CheckPixel> points;
    std::string line;
    int lineNumber = 0;
    bool header = false;
    auto refuse = [&](const std::string& what) {
        std::string shown = line.size() > 60 ? line.substr(0, 60) + "..." : line;
        throw Failure(path + " line " + std::to_string(lineNumber) + ": " + what + " (got '" + shown + "')");
    };
    while (std::getline(in, line)) {
        ++lineNumber;
        if (lineNumber == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0)
            line.erase(0, 3);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (trim(line).empty())
            continue;
        std::vector<std::string> fields;
        std::stringstream split(line);
        for (std::string f; std::getline(split, f, ',');)
            fields.push_back(trim(f));
        if (!line.empty() && line.back() == ',')
            fields.push_back({});
        if (!header) {
            std::string joined;
            for (size_t i = 0; i < fields.size(); ++i) {
                std::string f = fields[i];
                std::transform(f.begin(), f.end(), f.begin(),
                               [](unsigned char c) { return std::tolower(c); });
                joined += (i ? "," : "") + f;
            }
            // "truth" is what `tessera synth` names the column of its check points.
            if (joined != "x,y,reference" && joined != "x,y,truth")
                refuse("expected the header x,y,reference");
            header = true;
            continue;
        }
        if (fields.size() != 3)
            refuse("expected x,y,reference");
        CheckPixel p;
        if (ground) {
            const auto x = parseReal(fields[0]), y = parseReal(fields[1]);
            if (!x || !y)
                refuse("x and y must be numbers");
            const CPoint2D pixel = image.GroundToImage(CPoint2D(*x, *y));
            // Integer image positions are pixel centres: the pixel is the nearest one.
            const double column = std::floor(pixel.x + 0.5), row = std::floor(pixel.y + 0.5);
            if (!(column >= 0 && column < image.GetWidth() && row >= 0 && row < image.GetHeight()))
                refuse("the point lies outside the image");
            p.column = static_cast<int>(column);
            p.row = static_cast<int>(row);
        } else {
            const auto x = parseWhole<int>(fields[0]), y = parseWhole<int>(fields[1]);
            if (!x || !y)
                refuse("x and y must be a whole pixel column and row");
            if (*x < 0 || *x >= image.GetWidth() || *y < 0 || *y >= image.GetHeight())
                refuse("the pixel lies outside the image (" + std::to_string(image.GetWidth()) + " x " +
                       std::to_string(image.GetHeight()) + ")");
            p.column = *x;
            p.row = *y;
        }
        const bool digits =
            !fields[2].empty() && fields[2].find_first_not_of("0123456789") == std::string::npos;
        const auto reference = digits ? parseWhole<int>(fields[2]) : std::nullopt;
        if (!reference)
            refuse("the reference class must be a whole number of digits 0-9");
        p.reference = *reference;
        points.push_back(p);
    }
    if (!header)
        throw Failure(path + ": empty; expected the header x,y,reference");
    return points;
}

std::uint64_t splitmix64(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// The block loop over every pixel of the classified image: the rectangle is
// the whole image, so each pixel comes with its value, nodata included.
BlockProcessor pixelLoop(const CRasterSource& image) {
    return BlockProcessor(image, {1}, nullptr, PixelRect{0, 0, image.GetWidth(), image.GetHeight()});
}

// Hands each pixel of the classified image (and of the reference raster on
// the same grid, if any) to visit(column, row, classValue, referenceValue,
// worker), worker in [0, blocks.WorkerCount()); blocks come in no
// particular order. The reference is read block by block beside the
// classified image, through its one handle, one worker at a time.
template <class Visit> void forEachPixel(BlockProcessor& blocks, CRasterSource* reference, Visit&& visit) {
    std::vector<std::vector<double>> truth(blocks.WorkerCount());
    std::mutex referenceMutex;
    std::optional<PixelRect> unreadable; // a block of the reference that could not be read
    const bool read = blocks.ForEachBlock(
        [&](const PixelBlock& block, int worker) {
            std::vector<double>& t = truth[worker];
            if (reference) {
                t.resize(static_cast<size_t>(block.PixelCount()));
                std::lock_guard<std::mutex> lock(referenceMutex);
                if (unreadable)
                    return;
                if (!reference->GetRasterBand(1)->ReadBlock(block.x, block.y, block.width, block.height,
                                                            t.data(), PDT_Float64)) {
                    unreadable = PixelRect{block.x, block.y, block.x + block.width, block.y + block.height};
                    return;
                }
            }
            for (int i = 0; i < block.PixelCount(); ++i)
                visit(block.x + i % block.width, block.y + i / block.width, block.values[i],
                      reference ? t[i] : 0.0, worker);
        },
        nullptr);
    if (!read)
        throw Failure("cannot read the classified image: " + CommonFun::U2M(blocks.GetLastError()));
    if (unreadable)
        throw Failure("cannot read the reference raster at pixel " + std::to_string(unreadable->left) + "," +
                      std::to_string(unreadable->top));
}

// How many pixels of the classified image each class has.
std::vector<std::int64_t> classPixelCounts(CRasterSource& image, const Classes& classes) {
    BlockProcessor blocks = pixelLoop(image);
    const int n = classes.Count();
    std::vector<std::vector<std::int64_t>> counts(blocks.WorkerCount(), std::vector<std::int64_t>(n, 0));
    forEachPixel(blocks, nullptr, [&](int, int, double value, double, int worker) {
        if (const int c = classes.Of(value); c >= 0)
            ++counts[worker][c];
    });
    std::vector<std::int64_t> total(n, 0);
    for (const auto& perWorker : counts)
        for (int c = 0; c < n; ++c)
            total[c] += perWorker[c];
    return total;
}

bool isNoData(const std::optional<double>& nodata, double value) {
    return std::isnan(value) || (nodata && value == *nodata);
}

// A draw of check pixels: the pixels drawn, and how many pixels could be
// drawn (a reference that is not nodata, a map value that is a class), in
// all and per class.
struct Draw {
    std::vector<CheckPixel> pixels;
    std::int64_t valid = 0;
    std::vector<std::int64_t> validByClass;
};

// Up to perStratum pixels of each stratum (each class, or the whole image as
// one), drawn uniformly without replacement among the valid pixels: every
// pixel gets a hashed key from (seed, position) and each stratum keeps its
// perStratum smallest keys, so the draw does not depend on reading order.
Draw drawPixels(CRasterSource& image, CRasterSource& truth, const Classes& classes, int perStratum,
                bool stratified, std::uint64_t seed) {
    using Entry = std::pair<std::uint64_t, std::int64_t>; // key, row-major index
    using Kept = std::vector<std::priority_queue<Entry>>; // per stratum, largest key on top
    const int strata = stratified ? classes.Count() : 1;
    BlockProcessor blocks = pixelLoop(image);
    std::vector<Kept> kept(blocks.WorkerCount(), Kept(static_cast<size_t>(strata)));
    std::vector<std::vector<std::int64_t>> valid(blocks.WorkerCount(),
                                                 std::vector<std::int64_t>(classes.Count()));
    const std::int64_t width = image.GetWidth();
    const std::optional<double> mapNoData = image.GetRasterBand(1)->GetNoDataValue();
    const std::optional<double> truthNoData = truth.GetRasterBand(1)->GetNoDataValue();
    const auto keep = [perStratum](std::priority_queue<Entry>& heap, const Entry& entry) {
        if (static_cast<int>(heap.size()) < perStratum) {
            heap.push(entry);
        } else if (entry < heap.top()) {
            heap.pop();
            heap.push(entry);
        }
    };
    forEachPixel(blocks, &truth, [&](int x, int y, double value, double truthValue, int worker) {
        const int c = classes.Of(value);
        if (c < 0 || isNoData(mapNoData, value) || isNoData(truthNoData, truthValue))
            return;
        ++valid[worker][c];
        const std::int64_t index = static_cast<std::int64_t>(y) * width + x;
        keep(kept[worker][stratified ? c : 0],
             {splitmix64(seed ^ splitmix64(static_cast<std::uint64_t>(index))), index});
    });
    Draw draw;
    draw.validByClass.assign(classes.Count(), 0);
    for (const auto& perWorker : valid)
        for (int c = 0; c < classes.Count(); ++c) {
            draw.validByClass[c] += perWorker[c];
            draw.valid += perWorker[c];
        }
    // The workers' smallest keys of a stratum hold the stratum's smallest keys.
    for (size_t w = 1; w < kept.size(); ++w)
        for (int c = 0; c < strata; ++c)
            for (auto& heap = kept[w][c]; !heap.empty(); heap.pop())
                keep(kept[0][c], heap.top());
    std::vector<std::int64_t> indices;
    for (auto& heap : kept[0])
        for (; !heap.empty(); heap.pop())
            indices.push_back(heap.top().second);
    std::sort(indices.begin(), indices.end());
    for (const std::int64_t i : indices)
        draw.pixels.push_back({static_cast<int>(i % width), static_cast<int>(i / width), 0});
    return draw;
}

// ---- A vector reference --------------------------------------------------------

// What became of the features of a vector reference.
struct VectorTally {
    std::int64_t features = 0, burnt = 0, noClass = 0, noGeometry = 0;
};

// The reference of a vector layer on the image's grid: each feature's class
// (its field's value, or the class its text names) burnt into a temporary
// raster, points into the pixel that holds them and polygons into the pixels
// whose centre they cover. Pixels no feature covers are nodata.
class VectorReference {
public:
    VectorReference(const std::string& path, const std::string& fieldName, const CRasterSource& image,
                    const Classes& classes, VectorTally& tally) {
        static std::atomic<int> counter{0};
        m_path = "/vsimem/tessera-reference-" + std::to_string(counter++) + ".tif";
        GDALDatasetUniquePtr vector(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR));
        if (!vector || vector->GetLayerCount() < 1)
            throw Failure("cannot open the reference " + path + " as a raster or a vector layer");
        OGRLayer* layer = vector->GetLayer(0);
        const int field = layer->GetLayerDefn()->GetFieldIndex(fieldName.c_str());
        if (field < 0)
            throw Failure("the reference " + path + " has no field '" + fieldName + "'");
        const bool text = layer->GetLayerDefn()->GetFieldDefn(field)->GetType() == OFTString;

        OGRSpatialReference target;
        const std::string wkt = image.GetProjectionWkt();
        std::unique_ptr<OGRCoordinateTransformation> transform;
        if (const OGRSpatialReference* source = layer->GetSpatialRef();
            source && !wkt.empty() && target.importFromWkt(wkt.c_str()) == OGRERR_NONE &&
            !source->IsSame(&target)) {
            OGRSpatialReference from(*source);
            from.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
            target.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
            transform.reset(OGRCreateCoordinateTransformation(&from, &target));
            if (!transform)
                throw Failure("cannot bring the reference " + path + " into the image's coordinate system");
        }

        std::vector<std::unique_ptr<OGRGeometry>> geometries;
        std::vector<double> burn;
        for (auto& feature : *layer) {
            ++tally.features;
            const OGRGeometry* geometry = feature->GetGeometryRef();
            if (!geometry || geometry->IsEmpty()) {
                ++tally.noGeometry;
                continue;
            }
            const int value = classValue(*feature, field, text, classes);
            if (value < 0) {
                ++tally.noClass;
                continue;
            }
            std::unique_ptr<OGRGeometry> copy(geometry->clone());
            if (transform && copy->transform(transform.get()) != OGRERR_NONE) {
                ++tally.noGeometry;
                continue;
            }
            geometries.push_back(std::move(copy));
            burn.push_back(value);
            ++tally.burnt;
        }

        GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
        CPLStringList options;
        options.SetNameValue("TILED", "YES");
        options.SetNameValue("COMPRESS", "DEFLATE");
        GDALDatasetUniquePtr raster(driver->Create(m_path.c_str(), image.GetWidth(), image.GetHeight(), 1,
                                                   GDT_Int32, options.List()));
        if (!raster)
            throw Failure("cannot make a raster of the reference " + path);
        std::array<double, 6> geo = image.GetGeoTransform();
        raster->SetGeoTransform(geo.data());
        GDALRasterBand* band = raster->GetRasterBand(1);
        band->SetNoDataValue(-1);
        band->Fill(-1);
        std::vector<OGRGeometryH> handles;
        for (const auto& g : geometries)
            handles.push_back(OGRGeometry::ToHandle(g.get()));
        int bands[] = {1};
        if (!handles.empty() &&
            GDALRasterizeGeometries(GDALDataset::ToHandle(raster.get()), 1, bands,
                                    static_cast<int>(handles.size()), handles.data(), nullptr, nullptr,
                                    burn.data(), nullptr, nullptr, nullptr) != CE_None)
            throw Failure("cannot burn the reference " + path + " into the image's grid");
    }
    ~VectorReference() { VSIUnlink(m_path.c_str()); }
    VectorReference(const VectorReference&) = delete;
    VectorReference& operator=(const VectorReference&) = delete;
    const std::string& Path() const { return m_path; }

private:
    // The class of a feature: a whole-number field is the class value; a text
    // field names a class (or, holding digits, gives its value). -1: none.
    static int classValue(const OGRFeature& feature, int field, bool text, const Classes& classes) {
        if (!feature.IsFieldSetAndNotNull(field))
            return -1;
        if (text) {
            const std::wstring name = CommonFun::M2U(trim(feature.GetFieldAsString(field)));
            for (int c = 0; c < classes.Count(); ++c)
                if (classes.givenNames[c] == name)
                    return classes.values[c];
        }
        const double value = feature.GetFieldAsDouble(field);
        if (text && !parseReal(trim(feature.GetFieldAsString(field))))
            return -1;
        return value >= 0 && value <= 65535 && value == std::floor(value) ? static_cast<int>(value) : -1;
    }

    std::string m_path;
};

double pixelValue(CRasterSource& raster, int column, int row, const char* what) {
    double value = 0;
    if (!raster.GetRasterBand(1)->GetPixel(&value, column, row, PDT_Float64))
        throw Failure(std::string("cannot read the ") + what + " at pixel " + std::to_string(column) + "," +
                      std::to_string(row));
    return value;
}

// ---- The command -----------------------------------------------------------

int runAccuracy(const ParsedOptions& o, CommandContext& context) {
    const bool points = o.Has("points"), random = o.Has("random"), stratified = o.Has("stratified"),
               reference = o.Has("reference");
    if (points + random + stratified > 1)
        throw UsageError("give only one of --points, --random and --stratified");
    if (!points && !random && !stratified && !reference)
        throw UsageError("give the check points: --points CSV, --random N --reference RASTER, "
                         "--stratified N --reference RASTER, or --reference RASTER");
    if ((random || stratified) && !reference)
        throw UsageError(std::string(random ? "--random" : "--stratified") + " needs --reference RASTER");
    if (points && reference)
        throw UsageError("--points carries its own reference classes; leave out --reference");
    if (o.Given("ground") && !points)
        throw UsageError("--ground applies to --points only");
    if (o.Has("seed") && !random && !stratified)
        throw UsageError("--seed applies to --random and --stratified only");
    if (o.Has("reference-field") && !reference)
        throw UsageError("--reference-field applies to a vector --reference only");

    const std::string imagePath = o.Positional(0);
    CRasterSource image;
    openRaster(image, imagePath, "classified image");
    const Classes classes = loadClasses(imagePath, image, o);
    const int n = classes.Count();

    CRasterSource truth;
    std::unique_ptr<VectorReference> vector;
    VectorTally features;
    if (reference) {
        std::string truthPath = o.String("reference");
        if (o.Has("reference-field")) {
            vector = std::make_unique<VectorReference>(truthPath, o.String("reference-field"), image, classes,
                                                       features);
            truthPath = vector->Path();
        } else if (GDALDatasetUniquePtr probe(GDALDataset::Open(truthPath.c_str(), GDAL_OF_VECTOR));
                   probe && probe->GetLayerCount() > 0 &&
                   !GDALDatasetUniquePtr(GDALDataset::Open(truthPath.c_str(), GDAL_OF_RASTER))) {
            throw UsageError("the reference " + truthPath +
                             " is a vector layer; name its class field with --reference-field");
        }
        openRaster(truth, truthPath, "reference raster");
        if (truth.GetWidth() != image.GetWidth() || truth.GetHeight() != image.GetHeight())
            throw Failure("reference raster " + o.String("reference") + " is " +
                          std::to_string(truth.GetWidth()) + " x " + std::to_string(truth.GetHeight()) +
                          " pixels, the classified image " + std::to_string(image.GetWidth()) + " x " +
                          std::to_string(image.GetHeight()));
    }
    const std::uint32_t seed = o.Has("seed") ? static_cast<std::uint32_t>(o.Int("seed"))
                                             : static_cast<std::uint32_t>(std::time(nullptr));

    ErrorMatrix matrix(n);
    std::int64_t pointCount = 0;
    std::vector<std::int64_t> mapped = classes.pixelCounts;
    std::vector<std::pair<std::string, std::int64_t>> tally; // check points asked, drawn, counted ...
    std::ostringstream drawn;                                // what the draw found, for the summary
    if (points || random || stratified) {
        std::vector<CheckPixel> pixels;
        if (points) {
            pixels = readPointsCsv(o.String("points"), image, o.Flag("ground"));
        } else {
            const int asked = static_cast<int>(o.Int(random ? "random" : "stratified"));
            const Draw draw = drawPixels(image, truth, classes, asked, stratified, seed);
            pixels = draw.pixels;
            const std::int64_t wanted = random ? asked : static_cast<std::int64_t>(asked) * n;
            tally = {{"asked", wanted}, {"valid_pixels", draw.valid}, {"drawn", std::int64_t(pixels.size())}};
            drawn << "accuracy: drew " << pixels.size() << " of " << wanted << " check points asked"
                  << (stratified ? " (" + std::to_string(asked) + " per class)" : std::string()) << " among "
                  << draw.valid << " pixels with a reference and a mapped class";
            if (static_cast<std::int64_t>(pixels.size()) < wanted) {
                if (random) {
                    drawn << "; only " << draw.valid << " such pixels exist, all taken";
                } else {
                    std::string fewer;
                    for (int c = 0; c < n; ++c)
                        if (draw.validByClass[c] < asked)
                            fewer += (fewer.empty() ? "" : ", ") + CommonFun::U2M(classes.names[c]) + " " +
                                     std::to_string(draw.validByClass[c]);
                    drawn << "; classes with fewer such pixels give all they have: " << fewer;
                }
            }
            drawn << "\n";
        }
        for (CheckPixel& p : pixels) {
            if (reference) {
                const double truthValue = pixelValue(truth, p.column, p.row, "reference raster");
                if (isNoData(truth.GetRasterBand(1)->GetNoDataValue(), truthValue))
                    continue; // no ground truth here: not a check point
                p.reference = classOf(truthValue);
            }
            ++pointCount;
            matrix.Add(classes.Of(p.reference),
                       classes.Of(pixelValue(image, p.column, p.row, "classified image")));
        }
    } else {
        // Every pixel with a reference is a check point.
        const std::optional<double> nodata = truth.GetRasterBand(1)->GetNoDataValue();
        BlockProcessor blocks = pixelLoop(image);
        struct Tally {
            ErrorMatrix matrix;
            std::vector<std::int64_t> mapped;
            std::int64_t points = 0;
        };
        std::vector<Tally> tallies(blocks.WorkerCount(),
                                   Tally{ErrorMatrix(n), std::vector<std::int64_t>(n, 0)});
        forEachPixel(blocks, &truth, [&](int, int, double value, double truthValue, int worker) {
            Tally& t = tallies[worker];
            const int c = classes.Of(value);
            if (c >= 0)
                ++t.mapped[c];
            if (isNoData(nodata, truthValue))
                return;
            ++t.points;
            t.matrix.Add(classes.Of(truthValue), c);
        });
        const bool countMapped = mapped.empty();
        if (countMapped)
            mapped.assign(n, 0);
        for (const Tally& t : tallies) {
            matrix.Merge(t.matrix);
            pointCount += t.points;
            if (countMapped)
                for (int c = 0; c < n; ++c)
                    mapped[c] += t.mapped[c];
        }
    }
    if (mapped.empty() && o.Has("json"))
        mapped = classPixelCounts(image, classes); // area weights need the map's class pixel counts

    const ReportSections sections{!o.Flag("no-matrix"), !o.Flag("no-accuracy"), !o.Flag("no-kappa")};
    const std::wstring reportPath = CommonFun::M2U(o.String("report"));
    if (WriteAccuracyReportFile(&matrix, classes.names, reportPath, sections, UserLocale()) !=
        ReportWriteResult::Written)
        throw Failure("cannot write the report " + o.String("report"));
    const AccuracySummary summary = SummarizeErrorMatrix(matrix);
    if (vector)
        tally.insert(tally.end(), {{"features", features.features},
                                   {"features_used", features.burnt},
                                   {"features_without_class", features.noClass},
                                   {"features_without_geometry", features.noGeometry}});
    if (!tally.empty())
        tally.insert(tally.end(), {{"counted", summary.counted}, {"skipped", pointCount - summary.counted}});
    if (o.Has("json")) {
        const AccuracyEstimates estimates = EstimateAccuracy(matrix, summary, mapped, classes.pixelArea);
        const std::string json = FormatAccuracyJson(pointCount, matrix, summary, estimates,
                                                    classes.givenNames, classes.values, tally);
        if (WriteFileAtomically(CommonFun::M2U(o.String("json")), json) != ReportWriteResult::Written)
            throw Failure("cannot write " + o.String("json"));
    }
    std::ostringstream line;
    line << drawn.str();
    if (vector)
        line << "accuracy: " << features.burnt << " of " << features.features << " reference features used ("
             << features.noClass << " without a class of the map, " << features.noGeometry
             << " without a geometry)\n";
    line << "accuracy: " << summary.counted << " of " << pointCount << " check points counted";
    if (pointCount > summary.counted)
        line << " (" << pointCount - summary.counted << " skipped: their reference or map value is no class)";
    line << ", overall accuracy ";
    if (summary.counted > 0)
        line << summary.overallAccuracy << "%, kappa " << summary.kappa;
    else
        line << "undefined";
    line << "; wrote " << o.String("report") << "\n";
    context.out << line.str();
    return kExitOk;
}

} // namespace

Subcommand AccuracySubcommand() {
    return {accuracyDef(), runAccuracy};
}
