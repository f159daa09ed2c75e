// The command-line tool: option tables, the text progress bar, the dispatcher
// and the synth scene generator, plus the built binary's exit codes.
#include "cli/options.h"
#include "cli/scenegen.h"
#include "cli/subcommands.h"
#include "cli/textprogress.h"
#include "support/scratchdir.h"

#include <gdal_alg.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// --- option tables ---------------------------------------------------------

CommandDef sampleDef() {
    CommandDef def;
    def.name = "kmeans";
    def.summary = "Cluster an image.";
    def.positionals = {{"IN", "input image"}, {"OUT", "output image"}, {"EXTRA", "anything", false}};
    def.options = {
        IntOption("classes", "K", "number of classes").Default("6").Range(1, 255),
        DoubleOption("change", "PCT", "stop below this change").Default("5").Range(0, 100),
        StringOption("aoi", "FILE", "area of interest"),
        FlagOption("quiet", "no progress bar"),
        IntListOption("bands", "LIST", "bands to use").Min(1),
        IntOption("iterations", "N", "iteration limit").Min(1).Required(),
    };
    return def;
}

ParsedOptions parse(std::vector<std::string> args) {
    return ParseOptions(sampleDef(), args);
}

// The UsageError message of parsing args, or "" when they are accepted.
std::string refusal(std::vector<std::string> args) {
    try {
        parse(std::move(args));
    } catch (const UsageError& e) {
        return e.what();
    }
    return "";
}

TEST(OptionTable, DefaultsApplyWhenOptionsAreAbsent) {
    const ParsedOptions o = parse({"in.tif", "out.tif", "--iterations", "3"});
    EXPECT_FALSE(o.HelpRequested());
    EXPECT_EQ(o.Int("classes"), 6);
    EXPECT_FALSE(o.Given("classes"));
    EXPECT_TRUE(o.Has("classes"));
    EXPECT_DOUBLE_EQ(o.Double("change"), 5.0);
    EXPECT_FALSE(o.Has("aoi"));
    EXPECT_FALSE(o.Flag("quiet"));
    EXPECT_EQ(o.Int("iterations"), 3);
    ASSERT_EQ(o.PositionalCount(), 2u);
    EXPECT_EQ(o.Positional(0), "in.tif");
    EXPECT_EQ(o.Positional(1), "out.tif");
}

TEST(OptionTable, ValuesInBothSpellingsAndAnyOrder) {
    const ParsedOptions o = parse({"--classes=12", "in.tif", "--change", "2.5", "--aoi", "a b.shp", "--quiet",
                                   "out.tif", "--bands", "1,2,3", "--iterations=1", "extra"});
    EXPECT_EQ(o.Int("classes"), 12);
    EXPECT_TRUE(o.Given("classes"));
    EXPECT_DOUBLE_EQ(o.Double("change"), 2.5);
    EXPECT_EQ(o.String("aoi"), "a b.shp");
    EXPECT_TRUE(o.Flag("quiet"));
    EXPECT_EQ(o.IntList("bands"), (std::vector<std::int64_t>{1, 2, 3}));
    ASSERT_EQ(o.PositionalCount(), 3u);
    EXPECT_EQ(o.Positional(2), "extra");
}

TEST(OptionTable, RangeMessagesNameTheOptionTheBoundAndTheValue) {
    EXPECT_EQ(refusal({"a", "b", "--iterations", "1", "--classes", "0"}),
              "--classes must be at least 1 (got 0)");
    EXPECT_EQ(refusal({"a", "b", "--iterations", "1", "--classes", "256"}),
              "--classes must be at most 255 (got 256)");
    EXPECT_EQ(refusal({"a", "b", "--iterations", "1", "--change", "100.5"}),
              "--change must be at most 100 (got 100.5)");
    EXPECT_EQ(refusal({"a", "b", "--iterations", "1", "--bands", "3,0,2"}),
              "--bands values must be at least 1 (got 0)");
    EXPECT_EQ(refusal({"a", "b", "--iterations", "1", "--classes", "1", "--change", "0"}), "");
}

TEST(OptionTable, MalformedValuesAreRefused) {
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--classes", "abc"},
                                                {"--classes", "3.5"},
                                                {"--classes", ""},
                                                {"--classes", "99999999999999999999"},
                                                {"--change", "x"},
                                                {"--change", "nan"},
                                                {"--change", "1e999"},
                                                {"--bands", "1,,2"},
                                                {"--bands", "1,2,"},
                                                {"--bands", ""},
                                                {"--bands", "1;2"}}) {
        std::vector<std::string> args = {"a", "b", "--iterations", "1"};
        args.insert(args.end(), bad.begin(), bad.end());
        const std::string message = refusal(args);
        EXPECT_EQ(message.rfind("--" + bad[0].substr(2) + " expects", 0), 0u)
            << bad[0] << " " << bad[1] << ": " << message;
    }
    EXPECT_EQ(refusal({"a", "b", "--iterations"}), "--iterations needs a value (N)");
}

TEST(OptionTable, UnknownRepeatedAndMisusedOptionsAreRefused) {
    EXPECT_EQ(refusal({"a", "b", "--iterations", "1", "--bogus", "3"}),
              "unknown option --bogus (see 'tessera kmeans --help')");
    EXPECT_EQ(refusal({"a", "b", "--iterations", "1", "-x"}),
              "unknown option -x (see 'tessera kmeans --help')");
    EXPECT_EQ(refusal({"a", "b", "--iterations", "1", "--classes", "3", "--classes", "4"}),
              "--classes is given more than once");
    EXPECT_EQ(refusal({"a", "b", "--iterations", "1", "--quiet=yes"}), "--quiet takes no value");
}

TEST(OptionTable, PositionalsAndRequiredOptions) {
    EXPECT_EQ(refusal({"a", "--iterations", "1"}), "missing OUT (see 'tessera kmeans --help')");
    EXPECT_EQ(refusal({"--iterations", "1"}), "missing IN (see 'tessera kmeans --help')");
    EXPECT_EQ(refusal({"a", "b", "c", "d", "--iterations", "1"}),
              "unexpected argument 'd' (see 'tessera kmeans --help')");
    EXPECT_EQ(refusal({"a", "b"}), "--iterations is required (see 'tessera kmeans --help')");
    // A negative number and anything after "--" are positionals.
    const ParsedOptions o = parse({"--iterations", "2", "-5", "--", "--odd-name"});
    EXPECT_EQ(o.Positional(0), "-5");
    EXPECT_EQ(o.Positional(1), "--odd-name");
    // A value that looks like an option is still the option's value.
    EXPECT_EQ(parse({"a", "b", "--iterations", "1", "--aoi", "--x"}).String("aoi"), "--x");
}

TEST(OptionTable, HelpWinsOverEveryOtherCheck) {
    EXPECT_TRUE(parse({"--classes", "0", "--help"}).HelpRequested());
    EXPECT_TRUE(parse({"-h"}).HelpRequested());
    // After "--" it is a file name.
    EXPECT_EQ(refusal({"a", "b", "--iterations", "1", "--", "--help"}), "");
}

TEST(OptionTable, HelpTextComesFromTheTable) {
    const std::string help = FormatHelp(sampleDef());
    EXPECT_NE(help.find("Usage: tessera kmeans IN OUT [EXTRA] --iterations N [options]"), std::string::npos)
        << help;
    EXPECT_NE(help.find("Cluster an image."), std::string::npos);
    EXPECT_NE(help.find("  IN "), std::string::npos);
    EXPECT_NE(help.find("anything (optional)"), std::string::npos);
    EXPECT_NE(help.find("--classes K"), std::string::npos);
    EXPECT_NE(help.find("number of classes (default 6; 1 to 255)"), std::string::npos);
    EXPECT_NE(help.find("bands to use (each at least 1)"), std::string::npos);
    EXPECT_NE(help.find("iteration limit (required; at least 1)"), std::string::npos);
    EXPECT_NE(help.find("--quiet "), std::string::npos);
    EXPECT_EQ(help.find("--quiet Q"), std::string::npos);
    EXPECT_NE(help.find("-h, --help"), std::string::npos);
}

TEST(OptionTable, ProgrammingErrorsAreLogicErrors) {
    const ParsedOptions o = parse({"a", "b", "--iterations", "1"});
    EXPECT_THROW(o.Int("change"), std::logic_error);  // wrong kind
    EXPECT_THROW(o.Int("nothing"), std::logic_error); // not in the table
    EXPECT_THROW(o.String("aoi"), std::logic_error);  // no value, no default
    EXPECT_THROW(o.Positional(2), std::logic_error);
    CommandDef broken = sampleDef();
    broken.options[0] = broken.options[0].Default("zero");
    EXPECT_THROW(ParseOptions(broken, {"a", "b"}), std::logic_error);
}

TEST(OptionTable, EveryRegisteredTableIsWellFormed) {
    for (const Subcommand& command : Subcommands()) {
        SCOPED_TRACE(command.def.name);
        EXPECT_NO_THROW(ParseOptions(command.def, {"--help"})); // the defaults parse and lie in range
        EXPECT_FALSE(command.def.summary.empty());
        EXPECT_EQ(command.def.summary.find('\n'), std::string::npos);
        std::set<std::string> names;
        const std::string help = FormatHelp(command.def);
        for (const OptionDef& o : command.def.options) {
            EXPECT_TRUE(names.insert(o.name).second) << "--" << o.name << " declared twice";
            EXPECT_NE(help.find("--" + o.name), std::string::npos);
        }
        EXPECT_EQ(FindSubcommand(command.def.name), &command);
    }
}

// --- text progress -----------------------------------------------------------

// Everything a TextProgress wrote to a temporary stream.
class ProgressCapture {
public:
    ProgressCapture() : m_file(std::tmpfile()) {}
    ~ProgressCapture() { std::fclose(m_file); }
    std::FILE* Stream() const { return m_file; }
    std::string Text() const {
        std::fflush(m_file);
        std::rewind(m_file);
        std::string text;
        for (int c; (c = std::fgetc(m_file)) != EOF;)
            text += static_cast<char>(c);
        return text;
    }

private:
    std::FILE* m_file;
};

TEST(TextProgressBar, LogModePrintsALineEveryTenPercent) {
    ProgressCapture capture;
    TextProgress bar(capture.Stream(), false);
    bar.Begin("kmeans");
    bar.Step("Iteration 1");
    for (int i = 0; i <= 1000; ++i)
        bar.Percent(i / 10.0);
    bar.End(true);
    const std::string text = capture.Text();
    EXPECT_EQ(text.find('\r'), std::string::npos);
    std::string expected = "kmeans: Iteration 1\n";
    for (int p = 10; p <= 100; p += 10)
        expected += "kmeans: Iteration 1 " + std::to_string(p) + "%\n";
    expected += "kmeans: done\n";
    EXPECT_EQ(text, expected);
}

TEST(TextProgressBar, TerminalModeRedrawsOnlyWhenTheWholePercentChanges) {
    ProgressCapture capture;
    TextProgress bar(capture.Stream(), true);
    bar.Begin("synth");
    bar.Step("Writing");            // one draw
    for (int i = 0; i <= 1000; ++i) // 101 whole percents
        bar.Percent(i / 10.0);
    bar.Percent(std::nan("")); // ignored
    bar.Percent(250);          // clamped to 100: no change
    bar.End(false);            // no redraw on failure
    const std::string text = capture.Text();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 102);
    EXPECT_NE(text.find("100%  Writing"), std::string::npos);
    EXPECT_NE(text.find("[##############################]"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 15), "\nsynth: failed\n");
}

TEST(TextProgressBar, AShorterLineBlanksOutTheLongerOneBeforeIt) {
    ProgressCapture capture;
    TextProgress bar(capture.Stream(), true);
    bar.Begin("t");
    bar.Step("a long step name");
    bar.Step("b");
    const std::string text = capture.Text();
    const size_t second = text.rfind('\r');
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(text.size() - second, second); // both lines equally long
}

// --- dispatcher ----------------------------------------------------------------

struct CliRun {
    int code;
    std::string out, err;
};

CliRun runCli(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int code = RunCommandLine(args, out, err);
    return {code, out.str(), err.str()};
}

TEST(Dispatcher, ToolHelpListsEverySubcommandWithItsSummary) {
    const CliRun r = runCli({"--help"});
    EXPECT_EQ(r.code, kExitOk);
    // One line per command: its name, padded to a common column, then its summary.
    size_t width = 0;
    for (const Subcommand& s : Subcommands())
        width = std::max(width, s.def.name.size());
    for (const Subcommand& s : Subcommands()) {
        const std::string line = "  " + s.def.name + std::string(width + 3 - s.def.name.size(), ' ') + s.def.summary + "\n";
        EXPECT_NE(r.out.find(line), std::string::npos) << r.out;
    }
    EXPECT_TRUE(r.err.empty());
}

TEST(Dispatcher, SubcommandHelpIsItsTablesHelp) {
    const CliRun r = runCli({"synth", "--help"});
    EXPECT_EQ(r.code, kExitOk);
    EXPECT_EQ(r.out, FormatHelp(FindSubcommand("synth")->def));
}

TEST(Dispatcher, RefusalsAreOneLineAndExitTwo) {
    const std::string dir = (ScratchDir() / "never-made").string();
    const std::map<std::vector<std::string>, std::string> cases = {
        {{}, "tessera: missing command (see 'tessera --help')\n"},
        {{"nope"}, "tessera: unknown command 'nope' (see 'tessera --help')\n"},
        {{"synth", dir, "--classes", "0"}, "tessera synth: --classes must be at least 1 (got 0)\n"},
        {{"synth"}, "tessera synth: missing OUT_DIR (see 'tessera synth --help')\n"},
        {{"synth", dir, "--size", "100", "--width", "80"},
         "tessera synth: --size cannot be combined with --width or --height\n"},
        {{"synth", dir, "--width", "80"}, "tessera synth: --width needs --height\n"},
        {{"synth", dir, "--block", "300"}, "tessera synth: --block must be a multiple of 256 (got 300)\n"},
        // Options come from each method's declared parameters.
        {{"classify", "a.tif", "s.cif", "o.tif", "--method", "sam", "--kernel", "rbf"},
         "tessera classify: --kernel does not apply to --method sam (see 'tessera classify --help')\n"},
        {{"classify", "a.tif", "s.cif", "o.tif", "--method", "bpnn", "--rate", "2"},
         "tessera classify: --rate must be at most 1 (got 2)\n"},
        {{"classify", "a.tif", "s.cif", "o.tif", "--method", "svm", "--gamma", "0"},
         "tessera classify: --gamma must be greater than 0 (got 0)\n"},
        {{"isodata", "a.tif", "o.tif", "--classes", "40000"}, "tessera isodata: --classes must be at most 32767 (got 40000)\n"},
    };
    for (const auto& [args, message] : cases) {
        const CliRun r = runCli(args);
        EXPECT_EQ(r.code, kExitUsage);
        EXPECT_EQ(r.err, message);
        EXPECT_TRUE(r.out.empty());
    }
    // Refusals found by the generator, before anything is written.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"synth", dir, "--epsg", "4326"},
                                                 {"synth", dir, "--size", "32", "--classes", "64"}}) {
        const CliRun r = runCli(args);
        EXPECT_EQ(r.code, kExitUsage);
        EXPECT_EQ(r.err.rfind("tessera synth: ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir));
}

// --- scene model ------------------------------------------------------------------

SceneParams smallParams(std::uint64_t seed = 7) {
    SceneParams p;
    p.width = 200;
    p.height = 150;
    p.bands = 4;
    p.classes = 3;
    p.seed = seed;
    p.points = 300;
    p.polygonsPerClass = 4;
    p.block = 256;
    return p;
}

TEST(SceneModelTest, BlocksAgreeWithSinglePixelsAndWithEachOther) {
    const SceneModel model(smallParams());
    const int x = 37, y = 21, w = 61, h = 45;
    std::vector<std::uint8_t> labels(w * h), inner(10 * 10);
    std::vector<std::uint16_t> values(w * h * 4), innerValues(10 * 10 * 4);
    model.FillBlock(x, y, w, h, labels.data(), values.data());
    for (int r = 0; r < h; r += 4)
        for (int c = 0; c < w; c += 3)
            ASSERT_EQ(labels[r * w + c], model.ClassAt(x + c, y + r)) << c << "," << r;
    // A block inside the first one gives the same classes and values.
    model.FillBlock(x + 20, y + 30, 10, 10, inner.data(), innerValues.data());
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c) {
            ASSERT_EQ(inner[r * 10 + c], labels[(r + 30) * w + c + 20]);
            for (int b = 0; b < 4; ++b)
                ASSERT_EQ(innerValues[(r * 10 + c) * 4 + b], values[((r + 30) * w + c + 20) * 4 + b]);
        }
}

TEST(SceneModelTest, EveryClassOccursAndTheSpectraAreApart) {
    for (std::uint64_t seed : {1, 7, 12345}) {
        const SceneModel model(smallParams(seed));
        std::vector<std::uint8_t> labels(200 * 150);
        model.FillBlock(0, 0, 200, 150, labels.data(), nullptr);
        std::set<int> present(labels.begin(), labels.end());
        EXPECT_EQ(present, (std::set<int>{1, 2, 3})) << "seed " << seed;
        for (int a = 1; a <= 3; ++a)
            for (int b = a + 1; b <= 3; ++b) {
                double d2 = 0, sigma = 0;
                for (int band = 1; band <= 4; ++band) {
                    d2 += std::pow(model.Mean(a, band) - model.Mean(b, band), 2);
                    sigma = std::max({sigma, model.Sigma(a, band), model.Sigma(b, band)});
                }
                EXPECT_GT(std::sqrt(d2), 3 * sigma) << "classes " << a << " and " << b;
            }
    }
}

TEST(SceneModelTest, NoiseWidensEveryClassAndKeepsItsMean) {
    SceneParams wide = smallParams();
    wide.noise = 6;
    const SceneModel base(smallParams()), noisy(wide);
    for (int k = 1; k <= 3; ++k)
        for (int band = 1; band <= 4; ++band) {
            EXPECT_EQ(noisy.Mean(k, band), base.Mean(k, band));
            EXPECT_NEAR(noisy.Sigma(k, band), 6 * base.Sigma(k, band), 3.0); // both rounded
        }
    // The pixels spread accordingly: band 1 of one class, six times as wide.
    std::vector<std::uint8_t> labels(200 * 150);
    std::vector<std::uint16_t> a(200 * 150 * 4), b(a.size());
    base.FillBlock(0, 0, 200, 150, labels.data(), a.data());
    noisy.FillBlock(0, 0, 200, 150, labels.data(), b.data());
    const auto spread = [&](const std::vector<std::uint16_t>& v) {
        double sum = 0, squares = 0, n = 0;
        for (size_t i = 0; i < labels.size(); ++i)
            if (labels[i] == 1) {
                const double x = v[i * 4]; // band 1, pixel-interleaved
                sum += x;
                squares += x * x;
                ++n;
            }
        return std::sqrt(squares / n - (sum / n) * (sum / n));
    };
    EXPECT_NEAR(spread(b) / spread(a), 6.0, 1.5);
}

TEST(SceneModelTest, ASceneTooSmallForItsClassesIsRefused) {
    SceneParams p = smallParams();
    p.width = p.height = 32;
    p.classes = 64;
    EXPECT_THROW(SceneModel{p}, std::invalid_argument);
}

// --- generated files ----------------------------------------------------------------

struct DatasetCloser {
    void operator()(GDALDataset* ds) const { GDALClose(ds); }
};
using DatasetPtr = std::unique_ptr<GDALDataset, DatasetCloser>;

DatasetPtr openDataset(const fs::path& path, unsigned flags = GDAL_OF_RASTER) {
    return DatasetPtr(GDALDataset::Open(path.c_str(), flags | GDAL_OF_READONLY));
}

template <typename T> std::vector<T> readBand(GDALDataset& ds, int band) {
    const int w = ds.GetRasterXSize(), h = ds.GetRasterYSize();
    std::vector<T> data(static_cast<size_t>(w) * h);
    const GDALDataType type = sizeof(T) == 1 ? GDT_Byte : GDT_UInt16;
    EXPECT_EQ(ds.GetRasterBand(band)->RasterIO(GF_Read, 0, 0, w, h, data.data(), w, h, type, 0, 0, nullptr),
              CE_None);
    return data;
}

std::vector<std::uint16_t> readAllBands(const fs::path& path) {
    DatasetPtr ds = openDataset(path);
    std::vector<std::uint16_t> all;
    for (int b = 1; b <= ds->GetRasterCount(); ++b) {
        const std::vector<std::uint16_t> band = readBand<std::uint16_t>(*ds, b);
        all.insert(all.end(), band.begin(), band.end());
    }
    return all;
}

std::string fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// One small scene for the file checks, written once.
class SynthFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = ScratchDir() / "scene-a";
        s_files = GenerateScene(smallParams(), s_dir);
    }
    static fs::path s_dir;
    static SceneFiles s_files;
};
fs::path SynthFiles::s_dir;
SceneFiles SynthFiles::s_files;

TEST_F(SynthFiles, SceneIsATiledCompressedProjectedUInt16GeoTiff) {
    DatasetPtr ds = openDataset(s_files.scene);
    ASSERT_TRUE(ds);
    EXPECT_STREQ(ds->GetDriver()->GetDescription(), "GTiff");
    EXPECT_EQ(ds->GetRasterXSize(), 200);
    EXPECT_EQ(ds->GetRasterYSize(), 150);
    ASSERT_EQ(ds->GetRasterCount(), 4);
    for (int b = 1; b <= 4; ++b) {
        GDALRasterBand* band = ds->GetRasterBand(b);
        EXPECT_EQ(band->GetRasterDataType(), GDT_UInt16);
        int bx = 0, by = 0;
        band->GetBlockSize(&bx, &by);
        EXPECT_EQ(bx, 256);
        EXPECT_EQ(by, 256);
    }
    EXPECT_STREQ(ds->GetMetadataItem("COMPRESSION", "IMAGE_STRUCTURE"), "DEFLATE");
    const OGRSpatialReference* srs = ds->GetSpatialRef();
    ASSERT_NE(srs, nullptr);
    EXPECT_TRUE(srs->IsProjected());
    EXPECT_STREQ(srs->GetAuthorityCode(nullptr), "32650");
    double gt[6];
    ASSERT_EQ(ds->GetGeoTransform(gt), CE_None);
    EXPECT_DOUBLE_EQ(gt[1], 10.0);
    EXPECT_DOUBLE_EQ(gt[5], -10.0);
    EXPECT_DOUBLE_EQ(std::fmod(gt[0], 1000.0), 0.0);
    EXPECT_DOUBLE_EQ(std::fmod(gt[3], 1000.0), 0.0);
    for (int b = 1; b <= 4; ++b)
        for (std::uint16_t v : readBand<std::uint16_t>(*ds, b))
            ASSERT_GE(v, 1);
}

TEST_F(SynthFiles, TruthHoldsEveryClassWithColoursAndNames) {
    DatasetPtr ds = openDataset(s_files.truth);
    ASSERT_TRUE(ds);
    EXPECT_EQ(ds->GetRasterXSize(), 200);
    EXPECT_EQ(ds->GetRasterYSize(), 150);
    GDALRasterBand* band = ds->GetRasterBand(1);
    EXPECT_EQ(band->GetRasterDataType(), GDT_Byte);
    EXPECT_STREQ(ds->GetSpatialRef()->GetAuthorityCode(nullptr), "32650");
    const std::vector<std::uint8_t> truth = readBand<std::uint8_t>(*ds, 1);
    EXPECT_EQ(std::set<int>(truth.begin(), truth.end()), (std::set<int>{1, 2, 3}));
    const GDALColorTable* table = band->GetColorTable();
    ASSERT_NE(table, nullptr);
    ASSERT_GE(table->GetColorEntryCount(), 4);
    std::set<std::tuple<short, short, short>> colours;
    for (int k = 1; k <= 3; ++k) {
        const GDALColorEntry* e = table->GetColorEntry(k);
        colours.insert({e->c1, e->c2, e->c3});
    }
    EXPECT_EQ(colours.size(), 3u);
    char** names = band->GetCategoryNames();
    ASSERT_EQ(CSLCount(names), 4);
    EXPECT_STREQ(names[0], "Unclassified");
    EXPECT_STREQ(names[1], "Class 1");
    EXPECT_STREQ(names[3], "Class 3");
}

TEST_F(SynthFiles, EachTrainingPolygonLiesInsideItsClass) {
    DatasetPtr shp = openDataset(s_files.training, GDAL_OF_VECTOR);
    ASSERT_TRUE(shp);
    OGRLayer* layer = shp->GetLayer(0);
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(layer->GetFeatureCount(), 12);
    ASSERT_NE(layer->GetSpatialRef(), nullptr);
    EXPECT_TRUE(layer->GetSpatialRef()->IsProjected());
    ASSERT_GE(layer->GetLayerDefn()->GetFieldIndex("class"), 0);
    ASSERT_GE(layer->GetLayerDefn()->GetFieldIndex("name"), 0);

    DatasetPtr truthDs = openDataset(s_files.truth);
    const std::vector<std::uint8_t> truth = readBand<std::uint8_t>(*truthDs, 1);
    double gt[6];
    truthDs->GetGeoTransform(gt);
    std::map<int, int> perClass;
    std::vector<int> owner(truth.size(), 0);
    layer->ResetReading();
    for (std::unique_ptr<OGRFeature> f(layer->GetNextFeature()); f; f.reset(layer->GetNextFeature())) {
        const int cls = f->GetFieldAsInteger("class");
        EXPECT_EQ(std::string(f->GetFieldAsString("name")), "Class " + std::to_string(cls));
        ++perClass[cls];
        OGREnvelope env;
        f->GetGeometryRef()->getEnvelope(&env);
        EXPECT_LE(env.MaxX - env.MinX, 30 * 10.0);
        EXPECT_GE(env.MaxX - env.MinX, 6 * 10.0 * 0.4);
        // Every pixel the polygon touches, rasterised independently.
        GDALDriver* mem = GetGDALDriverManager()->GetDriverByName("MEM");
        DatasetPtr burn(mem->Create("", 200, 150, 1, GDT_Byte, nullptr));
        burn->SetGeoTransform(gt);
        int bandList[] = {1};
        double burnValue[] = {1};
        OGRGeometryH geometry = OGRGeometry::ToHandle(f->GetGeometryRef());
        char* options[] = {const_cast<char*>("ALL_TOUCHED=TRUE"), nullptr};
        ASSERT_EQ(GDALRasterizeGeometries(burn.get(), 1, bandList, 1, &geometry, nullptr, nullptr, burnValue,
                                          options, nullptr, nullptr),
                  CE_None);
        const std::vector<std::uint8_t> mask = readBand<std::uint8_t>(*burn, 1);
        int touched = 0;
        for (size_t i = 0; i < mask.size(); ++i)
            if (mask[i]) {
                ++touched;
                ASSERT_EQ(truth[i], cls) << "polygon " << f->GetFID() << " at pixel " << i;
                EXPECT_EQ(owner[i], 0) << "polygons " << owner[i] - 1 << " and " << f->GetFID() << " overlap";
                owner[i] = static_cast<int>(f->GetFID()) + 1;
            }
        EXPECT_GE(touched, 9);
    }
    EXPECT_EQ(perClass, (std::map<int, int>{{1, 4}, {2, 4}, {3, 4}}));
}

TEST_F(SynthFiles, CheckPointsSitAtPixelCentresWithTheirTrueClass) {
    DatasetPtr truthDs = openDataset(s_files.truth);
    const std::vector<std::uint8_t> truth = readBand<std::uint8_t>(*truthDs, 1);
    double gt[6];
    truthDs->GetGeoTransform(gt);
    std::ifstream in(s_files.checkpoints);
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_EQ(line, "x,y,truth");
    int rows = 0;
    std::set<std::pair<int, int>> seen;
    while (std::getline(in, line)) {
        double x = 0, y = 0;
        int cls = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf,%d", &x, &y, &cls), 3) << line;
        const double col = (x - gt[0]) / gt[1], row = (y - gt[3]) / gt[5];
        EXPECT_DOUBLE_EQ(col - std::floor(col), 0.5) << line;
        EXPECT_DOUBLE_EQ(row - std::floor(row), 0.5) << line;
        const int c = static_cast<int>(col), r = static_cast<int>(row);
        ASSERT_TRUE(c >= 0 && c < 200 && r >= 0 && r < 150) << line;
        EXPECT_EQ(cls, truth[r * 200 + c]) << line;
        EXPECT_TRUE(seen.insert({c, r}).second) << "repeated " << line;
        ++rows;
    }
    EXPECT_EQ(rows, 300);
}

TEST_F(SynthFiles, SameParametersGiveIdenticalFiles) {
    const fs::path again = ScratchDir() / "scene-a-again";
    GenerateScene(smallParams(), again);
    for (const char* name : {"scene.tif", "truth.tif", "truth.tif.aux.xml", "training.shp", "training.shx",
                             "training.dbf", "training.prj", "checkpoints.csv"}) {
        ASSERT_TRUE(fs::exists(s_dir / name)) << name;
        EXPECT_TRUE(fileBytes(s_dir / name) == fileBytes(again / name)) << name << " differs";
    }
    // Another seed: other pixels, other classes.
    const fs::path other = ScratchDir() / "scene-other-seed";
    GenerateScene(smallParams(8), other);
    EXPECT_NE(readAllBands(s_files.scene), readAllBands(other / "scene.tif"));
    EXPECT_NE(readAllBands(s_files.truth), readAllBands(other / "truth.tif"));
}

TEST_F(SynthFiles, ClassSpectraInTheImageMatchTheModelAndDiffer) {
    DatasetPtr scene = openDataset(s_files.scene);
    DatasetPtr truthDs = openDataset(s_files.truth);
    const std::vector<std::uint8_t> truth = readBand<std::uint8_t>(*truthDs, 1);
    const SceneModel model(smallParams());
    double means[4][5] = {}; // [class][band]
    for (int b = 1; b <= 4; ++b) {
        const std::vector<std::uint16_t> values = readBand<std::uint16_t>(*scene, b);
        double sum[4] = {}, count[4] = {};
        for (size_t i = 0; i < values.size(); ++i) {
            sum[truth[i]] += values[i];
            ++count[truth[i]];
        }
        for (int k = 1; k <= 3; ++k) {
            means[k][b] = sum[k] / count[k];
            // Patch brightness varies by up to 5 %; the noise averages out.
            EXPECT_NEAR(means[k][b], model.Mean(k, b), 0.05 * model.Mean(k, b) + 10)
                << "class " << k << " band " << b;
        }
    }
    for (int a = 1; a <= 3; ++a)
        for (int c = a + 1; c <= 3; ++c) {
            double largest = 0;
            for (int b = 1; b <= 4; ++b)
                largest = std::max(largest, std::abs(means[a][b] - means[c][b]));
            EXPECT_GT(largest, 500) << "classes " << a << " and " << c;
        }
}

TEST(SynthBlocks, PixelsDoNotDependOnTheBlockSize) {
    SceneParams p = smallParams();
    p.width = 600;
    p.height = 520;
    p.points = 10;
    p.polygonsPerClass = 1;
    const fs::path a = ScratchDir() / "blocks-256", b = ScratchDir() / "blocks-512";
    p.block = 256;
    GenerateScene(p, a);
    p.block = 512;
    GenerateScene(p, b);
    EXPECT_EQ(readAllBands(a / "scene.tif"), readAllBands(b / "scene.tif"));
    EXPECT_EQ(readAllBands(a / "truth.tif"), readAllBands(b / "truth.tif"));
}

TEST(SynthFailures, ACancelLeavesNothingBehind) {
    const fs::path dir = ScratchDir() / "cancelled";
    SceneParams p = smallParams();
    p.width = 600;
    p.height = 520;
    int calls = 0;
    EXPECT_THROW(GenerateScene(p, dir,
                               [&](const std::string& step, double percent) {
                                   ++calls;
                                   return percent < 30; // stop in the middle of the image
                               }),
                 std::runtime_error);
    EXPECT_GT(calls, 2);
    ASSERT_TRUE(fs::is_directory(dir));
    EXPECT_TRUE(fs::is_empty(dir));
}

TEST(SynthFailures, NoRoomForPolygonsIsAFailureBeforeWriting) {
    const fs::path dir = ScratchDir() / "crowded";
    SceneParams p = smallParams();
    p.width = p.height = 64;
    p.classes = 2;
    p.polygonsPerClass = 100;
    EXPECT_THROW(GenerateScene(p, dir), std::runtime_error);
    EXPECT_FALSE(fs::exists(dir));
}

// --- the built binary -------------------------------------------------------------

// Runs the tessera binary with a shell command line; stdout and stderr are
// captured in files.
CliRun runBinary(const std::string& arguments) {
    const fs::path out = ScratchDir() / "bin.out", err = ScratchDir() / "bin.err";
    const std::string command = std::string("'") + TESSERA_CLI_PATH + "' " + arguments + " >'" +
                                out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, fileBytes(out), fileBytes(err)};
}

TEST(TesseraBinary, ExitCodes) {
    CliRun r = runBinary("--help");
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("synth"), std::string::npos);

    const fs::path dir = ScratchDir() / "binary-scene";
    r = runBinary("synth '" + dir.string() + "' --classes 0");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "tessera synth: --classes must be at least 1 (got 0)\n");
    EXPECT_TRUE(r.out.empty());
    EXPECT_FALSE(fs::exists(dir));

    // Refused by the generator's own checks: still one line, nothing written.
    r = runBinary("synth '" + dir.string() + "' --epsg 4326");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err,
              "tessera synth: EPSG:4326 is not a projected coordinate system (pixels are in metres)\n");
    EXPECT_FALSE(fs::exists(dir));

    r = runBinary("synth '" + dir.string() + "' --size 64 --classes 2 --points 20 --polygons-per-class 1");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);
    EXPECT_EQ(r.out.rfind("synth: 64 x 64 pixels, 4 bands, 2 classes, seed 1: ", 0), 0u) << r.out;
    EXPECT_TRUE(fs::exists(dir / "scene.tif") && fs::exists(dir / "training.dbf"));

    // A runtime failure: the output folder is a file.
    r = runBinary("synth '" + (dir / "scene.tif").string() + "' --size 64 --classes 2");
    EXPECT_EQ(r.code, 1);
    const std::string last = r.err.substr(r.err.rfind('\n', r.err.size() - 2) + 1);
    EXPECT_EQ(last.rfind("tessera synth: cannot create the folder ", 0), 0u) << r.err;
}

} // namespace
