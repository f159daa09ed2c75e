// tessera demo: the whole pipeline on a generated scene — scene, training
// samples, unsupervised and supervised classifications, accuracy against the
// ground truth and with random check points, post-classification tools,
// class statistics and a shapefile — then a summary table and the list of
// files. Every step runs the same subcommand a user would type.
#include "cli/subcommands.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <ostream>
#include <regex>
#include <sstream>
#include <sys/resource.h>

namespace fs = std::filesystem;

namespace {

CommandDef demoDef() {
    CommandDef def;
    def.name = "demo";
    def.summary = "Generate a scene and run the whole pipeline on it, with a summary table.";
    def.positionals = {
        {"DIR", "folder for every output (default demo-out)", false, {FileRole::Output, FileKind::Folder}}};
    def.options = {IntOption("size", "N", "scene width and height").Default("800").Range(200, 20000),
                   IntOption("classes", "K", "classes of the scene").Default("5").Range(2, 16),
                   IntOption("seed", "S", "seed of the scene").Default("7").Min(0)};
    def.details = "Writes summary.md into DIR; every file it lists opens in GDAL/OGR tools and QGIS.";
    return def;
}

struct StepResult {
    bool ran = false; // the subcommand exists and was started
    bool ok = false;
    double seconds = 0;
    std::string message; // its last output line or error
};

// A number from the flat JSON the accuracy command writes.
std::string jsonNumber(const std::string& json, const std::string& key) {
    const std::regex pattern("\"" + key + "\"\\s*:\\s*(-?[0-9.eE+-]+|null)");
    std::smatch match;
    return std::regex_search(json, match, pattern) ? match[1].str() : std::string("-");
}

// A number with a fixed count of decimals; "-" and "null" stay as they are.
std::string fixed(const std::string& number, int decimals) {
    if (number == "-" || number == "null")
        return number;
    std::ostringstream out;
    out << std::fixed << std::setprecision(decimals) << std::stod(number);
    return out.str();
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The process's largest resident set size so far, in MB: the steps run in
// this process, so a step that needs more memory than those before raises it.
long peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

class Demo {
public:
    Demo(fs::path dir, std::ostream& log) : m_dir(std::move(dir)), m_log(log) {}

    StepResult Run(const std::string& title, std::vector<std::string> args) {
        StepResult result;
        if (!FindSubcommand(args.front())) {
            m_log << "  - " << title << ": skipped (tessera " << args.front() << " is not built)\n";
            return result;
        }
        result.ran = true;
        std::ostringstream out, err;
        const auto start = std::chrono::steady_clock::now();
        result.ok = RunCommandLine(args, out, err) == kExitOk;
        result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        result.message = result.ok ? out.str() : err.str();
        while (!result.message.empty() && result.message.back() == '\n')
            result.message.pop_back();
        m_log << "  " << (result.ok ? "+ " : "! ") << title << " (" << std::fixed << std::setprecision(2)
              << result.seconds << " s, peak memory so far " << peakMegabytes() << " MB)"
              << (result.ok ? "" : ": " + result.message) << "\n";
        return result;
    }

    std::string Path(const std::string& name) const { return (m_dir / name).string(); }

private:
    fs::path m_dir;
    std::ostream& m_log;
};

int runDemo(const ParsedOptions& o, CommandContext& context) {
    const fs::path dir = o.PositionalCount() ? fs::path(o.Positional(0)) : fs::path("demo-out");
    fs::create_directories(dir);
    std::ostream& log = context.out;
    Demo demo(dir, log);
    const std::string scene = demo.Path("scene"), image = scene + "/scene.tif", truth = scene + "/truth.tif";
    const std::string classes = std::to_string(o.Int("classes"));

    log << "Tessera demo in " << dir.string() << "\n";
    if (!demo.Run("scene", {"synth", scene, "--size", std::to_string(o.Int("size")), "--classes", classes,
                            "--bands", "4", "--seed", std::to_string(o.Int("seed")), "--points", "300"})
             .ok)
        throw std::runtime_error("the scene could not be generated");
    const std::string samples = demo.Path("samples.cif");
    const bool haveSamples = demo.Run("training samples", {"samples", image, scene + "/training.shp",
                                                           "--class-field", "class", samples})
                                 .ok;

    struct Row {
        std::string method;
        double seconds;
        std::string output;
        bool supervised;
    };
    std::vector<Row> rows;
    const auto classify = [&](const std::string& method, std::vector<std::string> args,
                              const std::string& output, bool supervised) {
        const StepResult r = demo.Run(method, args);
        if (r.ok)
            rows.push_back({method, r.seconds, output, supervised});
    };
    classify(
        "K-Means",
        {"kmeans", image, demo.Path("kmeans.tif"), "--classes", classes, "--iterations", "20", "--quiet"},
        demo.Path("kmeans.tif"), false);
    classify("ISODATA",
             {"isodata", image, demo.Path("isodata.tif"), "--classes", classes, "--iterations", "20",
              "--min-distance", "300", "--std-dev", "400", "--min-pixels", "500", "--quiet"},
             demo.Path("isodata.tif"), false);
    if (haveSamples) {
        for (const char* method :
             {"mindist", "maxlik", "mahalanobis", "sam", "parallelepiped", "svm", "bpnn"})
            classify(method,
                     {"classify", image, samples, demo.Path(std::string(method) + ".tif"), "--method", method,
                      "--quiet"},
                     demo.Path(std::string(method) + ".tif"), true);
    }

    // Accuracy of each supervised result against the ground truth, every
    // pixel a check point; and random check points on maximum likelihood.
    struct Score {
        std::string overall = "-", kappa = "-";
    };
    std::map<std::string, Score> scores;
    for (const Row& row : rows) {
        if (!row.supervised)
            continue;
        const std::string base = demo.Path(row.method + "-accuracy");
        if (demo.Run("accuracy of " + row.method, {"accuracy", row.output, "--reference", truth, "--report",
                                                   base + ".txt", "--json", base + ".json"})
                .ok) {
            const std::string json = readFile(base + ".json");
            scores[row.method] = {fixed(jsonNumber(json, "overall_accuracy"), 2),
                                  fixed(jsonNumber(json, "kappa"), 4)};
        }
    }
    const std::string maxlik = demo.Path("maxlik.tif");
    if (fs::exists(maxlik)) {
        demo.Run("random check points on maxlik",
                 {"accuracy", maxlik, "--random", "250", "--seed", "1", "--reference", truth, "--report",
                  demo.Path("maxlik-random-points.txt"), "--json", demo.Path("maxlik-random-points.json")});
        demo.Run("class merge (2 into 1)",
                 {"merge", maxlik, demo.Path("maxlik-merged.tif"), "--rule", "2=1", "--quiet"});
        demo.Run("class filter (regions under 20 pixels)",
                 {"sieve", maxlik, demo.Path("maxlik-sieved.tif"), "--classes", "1,2,3,4,5", "--threshold",
                  "20", "--quiet"});
        demo.Run("class clump (3 x 3)", {"clump", maxlik, demo.Path("maxlik-clumped.tif"), "--classes", "1,2",
                                         "--element", "111111111", "--quiet"});
        const StepResult stats = demo.Run("class statistics", {"stats", maxlik, "--json"});
        if (stats.ok)
            std::ofstream(demo.Path("maxlik-statistics.json")) << stats.message << "\n";
        demo.Run("vectorize",
                 {"polygonize", maxlik, demo.Path("maxlik.shp"), "--classes", "1,2,3,4,5", "--quiet"});
    }

    std::ostringstream table;
    table << "| method | overall accuracy % | kappa | seconds |\n|---|---:|---:|---:|\n";
    for (const Row& row : rows) {
        const Score s = row.supervised ? scores[row.method] : Score{};
        table << "| " << row.method << " | " << s.overall << " | " << s.kappa << " | " << std::fixed
              << std::setprecision(2) << row.seconds << " |\n";
    }
    table << "\nK-Means and ISODATA give unlabelled clusters; see bench/agreement.py for their agreement.\n";
    std::ostringstream files;
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file())
            names.push_back(fs::relative(entry.path(), dir).string());
    std::sort(names.begin(), names.end());
    for (const std::string& n : names)
        files << "- " << n << "\n";
    std::ofstream(dir / "summary.md") << "# Tessera demo\n\n"
                                      << table.str() << "\n## Files\n\n"
                                      << files.str();
    log << "\n" << table.str() << "\nFiles in " << dir.string() << ":\n" << files.str();
    return kExitOk;
}

} // namespace

Subcommand DemoSubcommand() {
    return {demoDef(), runDemo, nullptr, false};
}
