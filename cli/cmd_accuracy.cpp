// tessera accuracy: the accuracy assessment of a classified image against
// check points, with the window's report writer, and the numbers as JSON
// with confidence intervals, kappa variance and area-adjusted estimates.
#include "base/commonfun.h"
#include "cli/subcommands.h"
#include "engine/classifiedassistantfile.h"
#include "engine/rasterband.h"
#include "engine/rastersource.h"
#include "processing/accuracyestimates.h"
#include "processing/accuracyjson.h"
#include "processing/accuracyreport.h"
#include "processing/blockprocessor.h"
#include "processing/randompoints.h"

#include <gdal_priv.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>
#include <fstream>
#include <limits>
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
        {{"CLASSIFIED", "classified image (one band of class values)"}},
        {
            StringOption("report", "OUT.txt", "the accuracy report to write").Required(),
            StringOption("points", "CSV", "check points: header x,y,reference; pixel column and row"),
            FlagOption("ground", "the CSV's x,y are ground coordinates, not pixel column and row"),
            IntOption("random", "N", "N random check points drawn as the window draws them")
                .Range(1, 1000000),
            IntOption("stratified", "N", "N random check points in each class").Range(1, 1000000),
            IntOption("seed", "S", "seed of --random / --stratified; default the time in seconds")
                .Range(0, 4294967295.0),
            StringOption("reference", "RASTER",
                         "ground-truth raster on the same grid: the reference class of each check point; "
                         "alone, every pixel is a check point"),
            StringOption("json", "OUT.json", "also write the numbers, intervals and estimates as JSON"),
            StringOption("classes", "NAMES",
                         "class names NAME0,NAME1,... (value i is the i-th name) for an image without .acf"),
            FlagOption("no-matrix", "leave the error matrix out of the report"),
            FlagOption("no-accuracy", "leave the accuracy totals out of the report"),
            FlagOption("no-kappa", "leave the kappa statistics out of the report"),
        },
        ""};
    def.details =
        "Check points come from exactly one of --points, --random N --reference R,\n"
        "--stratified N --reference R, or --reference R alone. Classes come from the image's .acf;\n"
        "without one, from --classes or the image's category names. Reference pixels that are\n"
        "nodata are not check points. See docs/accuracy.md.";
    return def;
}

// ---- Inputs ----------------------------------------------------------------

struct Classes {
    std::vector<std::wstring> names;
    std::vector<std::int64_t> pixelCounts; // empty: unknown
    double pixelArea = 0;
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
    if (AssistantFileExists(wide)) {
        CClassifiedAssistantFile acf;
        if (!acf.ReadClassifiedAssistantFile(PairedAssistantFilePath(wide)))
            throw Failure("cannot read " + CommonFun::U2M(PairedAssistantFilePath(wide)) + ": " +
                          acf.GetLastError());
        for (const ClassRecord* r : acf.GetClassRecords()) {
            classes.names.push_back(r->m_name);
            classes.pixelCounts.push_back(r->m_pixelCount);
        }
        classes.pixelArea = std::fabs(acf.GetPixelSizeX() * acf.GetPixelSizeY());
    } else if (o.Has("classes")) {
        classes.names = splitNames(o.String("classes"));
    } else {
        char** categories = image.GetRasterBand(1)->GetGDALBand()->GetCategoryNames();
        for (int i = 0; categories && categories[i]; ++i)
            classes.names.push_back(CommonFun::M2U(categories[i]));
        if (classes.names.empty())
            throw Failure("no " + CommonFun::U2M(PairedAssistantFilePath(wide)) +
                          " and no category names in the image; name the classes with --classes");
    }
    // The error matrix holds n × n counts: beyond a few thousand classes it is no
    // longer a table anyone reads, and beyond 65,536 it does not fit in memory.
    constexpr size_t kMaxClasses = 4096;
    if (classes.names.size() > kMaxClasses)
        throw Failure("the accuracy assessment takes at most " + std::to_string(kMaxClasses) + " classes; " +
                      imagePath + " has " + std::to_string(classes.names.size()));
    if (o.Has("classes") && !classes.pixelCounts.empty()) {
        const std::vector<std::wstring> names = splitNames(o.String("classes"));
        if (names.size() != classes.names.size())
            throw UsageError("--classes names " + std::to_string(names.size()) + " classes, the .acf has " +
                             std::to_string(classes.names.size()));
        classes.names = names;
    }
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

// How many pixels of the classified image each class value 0 to n-1 has.
std::vector<std::int64_t> classPixelCounts(CRasterSource& image, int n) {
    BlockProcessor blocks = pixelLoop(image);
    std::vector<std::vector<std::int64_t>> counts(blocks.WorkerCount(), std::vector<std::int64_t>(n, 0));
    forEachPixel(blocks, nullptr, [&](int, int, double value, double, int worker) {
        const int c = classOf(value);
        if (c >= 0 && c < n)
            ++counts[worker][c];
    });
    std::vector<std::int64_t> total(n, 0);
    for (const auto& perWorker : counts)
        for (int c = 0; c < n; ++c)
            total[c] += perWorker[c];
    return total;
}

// Up to perClass pixels of each class, drawn uniformly without replacement:
// every pixel gets a hashed key from (seed, position) and each class keeps
// its perClass smallest keys, so the draw does not depend on reading order.
std::vector<CheckPixel> stratifiedPixels(CRasterSource& image, int classCount, int perClass,
                                         std::uint64_t seed) {
    using Entry = std::pair<std::uint64_t, std::int64_t>; // key, row-major index
    using Kept = std::vector<std::priority_queue<Entry>>; // per class, largest key on top
    BlockProcessor blocks = pixelLoop(image);
    std::vector<Kept> kept(blocks.WorkerCount(), Kept(static_cast<size_t>(classCount)));
    const std::int64_t width = image.GetWidth();
    const auto keep = [perClass](std::priority_queue<Entry>& heap, const Entry& entry) {
        if (static_cast<int>(heap.size()) < perClass) {
            heap.push(entry);
        } else if (entry < heap.top()) {
            heap.pop();
            heap.push(entry);
        }
    };
    forEachPixel(blocks, nullptr, [&](int x, int y, double value, double, int worker) {
        const int c = classOf(value);
        if (c < 0 || c >= classCount)
            return;
        const std::int64_t index = static_cast<std::int64_t>(y) * width + x;
        keep(kept[worker][c], {splitmix64(seed ^ splitmix64(static_cast<std::uint64_t>(index))), index});
    });
    // The workers' smallest keys of a class hold the class's smallest keys.
    for (size_t w = 1; w < kept.size(); ++w)
        for (int c = 0; c < classCount; ++c)
            for (auto& heap = kept[w][c]; !heap.empty(); heap.pop())
                keep(kept[0][c], heap.top());
    std::vector<std::int64_t> indices;
    for (auto& heap : kept[0])
        for (; !heap.empty(); heap.pop())
            indices.push_back(heap.top().second);
    std::sort(indices.begin(), indices.end());
    std::vector<CheckPixel> pixels;
    for (const std::int64_t i : indices)
        pixels.push_back({static_cast<int>(i % width), static_cast<int>(i / width), 0});
    return pixels;
}

double pixelValue(CRasterSource& raster, int column, int row, const char* what) {
    double value = 0;
    if (!raster.GetRasterBand(1)->GetPixel(&value, column, row, PDT_Float64))
        throw Failure(std::string("cannot read the ") + what + " at pixel " + std::to_string(column) + "," +
                      std::to_string(row));
    return value;
}

bool isNoData(CRasterSource& raster, double value) {
    const std::optional<double> nodata = raster.GetRasterBand(1)->GetNoDataValue();
    return std::isnan(value) || (nodata && value == *nodata);
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

    const std::string imagePath = o.Positional(0);
    CRasterSource image;
    openRaster(image, imagePath, "classified image");
    const Classes classes = loadClasses(imagePath, image, o);
    const int n = static_cast<int>(classes.names.size());

    CRasterSource truth;
    if (reference) {
        openRaster(truth, o.String("reference"), "reference raster");
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
    if (points || random || stratified) {
        std::vector<CheckPixel> pixels;
        if (points) {
            pixels = readPointsCsv(o.String("points"), image, o.Flag("ground"));
        } else if (random) {
            for (const PixelPosition& p : DrawRandomPixels(static_cast<int>(o.Int("random")),
                                                           image.GetWidth(), image.GetHeight(), seed))
                pixels.push_back({p.column, p.row, 0});
        } else {
            pixels = stratifiedPixels(image, n, static_cast<int>(o.Int("stratified")), seed);
        }
        for (CheckPixel& p : pixels) {
            if (reference) {
                const double truthValue = pixelValue(truth, p.column, p.row, "reference raster");
                if (isNoData(truth, truthValue))
                    continue; // no ground truth here: not a check point
                p.reference = classOf(truthValue);
            }
            ++pointCount;
            matrix.Add(p.reference, classOf(pixelValue(image, p.column, p.row, "classified image")));
        }
    } else {
        // Every pixel is a check point.
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
            const int c = classOf(value);
            if (c >= 0 && c < n)
                ++t.mapped[c];
            if (std::isnan(truthValue) || (nodata && truthValue == *nodata))
                return;
            ++t.points;
            t.matrix.Add(classOf(truthValue), c);
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
        mapped = classPixelCounts(image, n); // area weights need the map's class pixel counts

    const ReportSections sections{!o.Flag("no-matrix"), !o.Flag("no-accuracy"), !o.Flag("no-kappa")};
    const std::wstring reportPath = CommonFun::M2U(o.String("report"));
    if (WriteAccuracyReportFile(&matrix, classes.names, reportPath, sections, UserLocale()) !=
        ReportWriteResult::Written)
        throw Failure("cannot write the report " + o.String("report"));
    const AccuracySummary summary = SummarizeErrorMatrix(matrix);
    if (o.Has("json")) {
        const AccuracyEstimates estimates = EstimateAccuracy(matrix, summary, mapped, classes.pixelArea);
        const std::string json = FormatAccuracyJson(pointCount, matrix, summary, estimates, classes.names);
        if (WriteFileAtomically(CommonFun::M2U(o.String("json")), json) != ReportWriteResult::Written)
            throw Failure("cannot write " + o.String("json"));
    }
    std::ostringstream line;
    line << "accuracy: " << summary.counted << " of " << pointCount
         << " check points counted, overall accuracy ";
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
    return {accuracyDef(), runAccuracy, [](const ParsedOptions& o) {
                CommandFiles files{ClassifiedInputs(o.Positional(0)), {{o.String("report"), "the report"}}};
                if (o.Has("points"))
                    files.reads.push_back({o.String("points"), "the check points"});
                if (o.Has("reference"))
                    files.reads.push_back({o.String("reference"), "the reference raster"});
                if (o.Has("json"))
                    files.writes.push_back({o.String("json"), "the JSON file"});
                return files;
            }};
}
