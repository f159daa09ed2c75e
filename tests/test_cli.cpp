// The command-line tool: option tables, progress bar, dispatcher, synth scenes,
// and classifying a synth scene (the built binary: test_hostile.cpp).
#include "cli/options.h"
#include "cli/scenegen.h"
#include "cli/textprogress.h"
#include "support/cli.h"
#include "support/fixtures.h"

#include <gdal_alg.h>
#include <ogrsf_frmts.h>

#include <gtest/gtest.h>

#include <cmath>

namespace {

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

TEST(OptionTable, DefaultsAndValuesInBothSpellingsAndAnyOrder) {
    ParsedOptions o = parse({"in.tif", "out.tif", "--iterations", "3"});
    EXPECT_EQ(std::tuple(o.Int("classes"), o.Given("classes"), o.Has("classes"), o.Has("aoi"),
                         o.Flag("quiet"), o.Int("iterations"), o.HelpRequested(), o.Double("change"),
                         o.PositionalCount()),
              std::tuple(6, false, true, false, false, 3, false, 5.0, 2u));
    EXPECT_EQ(o.Positional(0) + " " + o.Positional(1), "in.tif out.tif");
    o = parse({"--classes=12", "in.tif", "--change", "2.5", "--aoi", "a b.shp", "--quiet", "out.tif",
               "--bands", "1,2,3", "--iterations=1", "extra"});
    EXPECT_EQ(std::tuple(o.Int("classes"), o.Given("classes"), o.String("aoi"), o.Flag("quiet"),
                         o.PositionalCount(), o.Double("change")),
              std::tuple(12, true, std::string("a b.shp"), true, 3u, 2.5));
    EXPECT_EQ(o.IntList("bands"), (std::vector<std::int64_t>{1, 2, 3}));
    // A negative number and anything after "--" are positionals; a value that
    // looks like an option is still the option's value.
    o = parse({"--iterations", "2", "-5", "--", "--odd-name"});
    EXPECT_EQ(o.Positional(0) + " " + o.Positional(1), "-5 --odd-name");
    EXPECT_EQ(parse({"a", "b", "--iterations", "1", "--aoi", "--x"}).String("aoi"), "--x");
    // Help wins over every other check, except after "--" where it is a file name.
    EXPECT_TRUE(parse({"--classes", "0", "--help"}).HelpRequested() && parse({"-h"}).HelpRequested());
}

TEST(OptionTable, RefusalsNameTheOptionTheBoundAndTheValue) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"a", "b", "--iterations", "1", "--classes", "0"}, "--classes must be at least 1 (got 0)"},
        {{"a", "b", "--iterations", "1", "--classes", "256"}, "--classes must be at most 255 (got 256)"},
        {{"a", "b", "--iterations", "1", "--bands", "3,0,2"}, "--bands values must be at least 1 (got 0)"},
        {{"a", "b", "--iterations", "1", "--classes", "1", "--change", "0"}, ""},
        {{"a", "b", "--iterations"}, "--iterations needs a value (N)"},
        {{"a", "b", "--iterations", "1", "--bogus", "3"},
         "unknown option --bogus (see 'tessera kmeans --help')"},
        {{"a", "b", "--iterations", "1", "--classes", "3", "--classes", "4"},
         "--classes is given more than once"},
        {{"a", "b", "--iterations", "1", "--quiet=yes"}, "--quiet takes no value"},
        {{"a", "--iterations", "1"}, "missing OUT (see 'tessera kmeans --help')"},
        {{"a", "b", "c", "d", "--iterations", "1"}, "unexpected argument 'd' (see 'tessera kmeans --help')"},
        {{"a", "b"}, "--iterations is required (see 'tessera kmeans --help')"},
        {{"a", "b", "--iterations", "1", "--", "--help"}, ""},
        {{"a", "b", "--iterations", "1", "--classes", "3.5"}, "--classes expects a whole number (got '3.5')"},
        {{"a", "b", "--iterations", "1", "--change", "nan"}, "--change expects a number (got 'nan')"},
        {{"a", "b", "--iterations", "1", "--bands", "1,,2"},
         "--bands expects whole numbers separated by commas, like 1,2,3 (got '1,,2')"},
    };
    for (const auto& [args, message] : cases)
        EXPECT_EQ(refusal(args), message);
}

TEST(OptionTable, HelpComesFromTheTableMisuseIsALogicErrorAndEveryRegisteredTableIsWellFormed) {
    const std::string help = FormatHelp(sampleDef());
    for (const char* part : {"Usage: tessera kmeans IN OUT [EXTRA] --iterations N [options]",
                             "Cluster an image.", "  IN ", "anything (optional)", "--classes K",
                             "number of classes (default 6; 1 to 255)", "bands to use (each at least 1)",
                             "iteration limit (required; at least 1)", "--quiet ", "-h, --help"})
        EXPECT_NE(help.find(part), std::string::npos) << part << "\n" << help;
    EXPECT_EQ(help.find("--quiet Q"), std::string::npos);
    // Programming errors are logic errors.
    const ParsedOptions o = parse({"a", "b", "--iterations", "1"});
    EXPECT_THROW(o.Int("change"), std::logic_error);  // wrong kind
    EXPECT_THROW(o.Int("nothing"), std::logic_error); // not in the table
    EXPECT_THROW(o.String("aoi"), std::logic_error);  // no value, no default
    EXPECT_THROW(o.Positional(2), std::logic_error);
    CommandDef broken = sampleDef();
    broken.options[0] = broken.options[0].Default("zero");
    EXPECT_THROW(ParseOptions(broken, {"a", "b"}), std::logic_error);
    for (const Subcommand& command : Subcommands()) {
        SCOPED_TRACE(command.def.name);
        EXPECT_NO_THROW(ParseOptions(command.def, {"--help"})); // the defaults parse and lie in range
        EXPECT_TRUE(!command.def.summary.empty() && command.def.summary.find('\n') == std::string::npos);
        std::set<std::string> names;
        const std::string help = FormatHelp(command.def);
        for (const OptionDef& option : command.def.options) {
            EXPECT_TRUE(names.insert(option.name).second) << "--" << option.name << " declared twice";
            EXPECT_NE(help.find("--" + option.name), std::string::npos);
        }
        EXPECT_EQ(FindSubcommand(command.def.name), &command);
    }
}

// What a TextProgress writing to a temporary stream wrote while `use` ran.
std::string progressText(bool terminal, const std::function<void(TextProgress&)>& use) {
    std::FILE* file = std::tmpfile();
    {
        TextProgress bar(file, terminal);
        use(bar);
    }
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;)
        text += static_cast<char>(c);
    std::fclose(file);
    return text;
}

// Begins `title` at `step` and rises from 0 to 100 % by tenths.
void sweep(TextProgress& bar, const char* title, const char* step) {
    bar.Begin(title);
    bar.Step(step);
    for (int i = 0; i <= 1000; ++i)
        bar.Percent(i / 10.0);
}

TEST(TextProgressBar, LogModePrintsALineEveryTenPercentTheTerminalRedrawsOnWholePercents) {
    std::string expected = "kmeans: Iteration 1\n";
    for (int p = 10; p <= 100; p += 10)
        expected += "kmeans: Iteration 1 " + std::to_string(p) + "%\n";
    EXPECT_EQ(progressText(false,
                           [](TextProgress& bar) {
                               sweep(bar, "kmeans", "Iteration 1");
                               bar.End(true);
                           }),
              expected + "kmeans: done\n");
    // On a terminal: a redraw only when the whole percent changes.
    const std::string text = progressText(true, [](TextProgress& bar) {
        sweep(bar, "synth", "Writing"); // the step, then 101 whole percents
        bar.Percent(std::nan(""));      // ignored
        bar.Percent(250);               // clamped to 100: no change
        bar.End(false);                 // no redraw on failure
    });
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 102);
    EXPECT_NE(text.find("100%  Writing"), std::string::npos);
    EXPECT_NE(text.find("[##############################]"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 15), "\nsynth: failed\n");
    // A shorter line blanks out the longer one before it: both lines equally long.
    const std::string both = progressText(true, [](TextProgress& bar) {
        bar.Begin("t");
        bar.Step("a long step name");
        bar.Step("b");
    });
    EXPECT_EQ(both.size() - both.rfind('\r'), both.rfind('\r'));
}

TEST(Dispatcher, ToolHelpListsEverySubcommandAndSubcommandHelpIsItsTablesHelp) {
    const CliRun r = RunTessera({"--help"});
    EXPECT_EQ(std::tuple(r.code, r.err), std::tuple(kExitOk, std::string()));
    // One line per command: its name, padded to a common column, then its summary.
    size_t width = 0;
    for (const Subcommand& s : Subcommands())
        width = std::max(width, s.def.name.size());
    for (const Subcommand& s : Subcommands())
        EXPECT_NE(r.out.find("  " + s.def.name + std::string(width + 3 - s.def.name.size(), ' ') +
                             s.def.summary + "\n"),
                  std::string::npos)
            << r.out;
    const CliRun synth = RunTessera({"synth", "--help"});
    EXPECT_EQ(std::tuple(synth.code, synth.out),
              std::tuple(kExitOk, FormatHelp(FindSubcommand("synth")->def)));
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
        // Refusals found by the generator, before anything is written.
        {{"synth", dir, "--epsg", "4326"},
         "tessera synth: EPSG:4326 is not a projected coordinate system (pixels are in metres)\n"},
        {{"synth", dir, "--size", "32", "--classes", "64"},
         "tessera synth: a 32 x 32 scene is too small for 64 classes (at most 1 fit)\n"},
        // Options come from each method's declared parameters.
        {{"classify", "a.tif", "s.cif", "o.tif", "--method", "sam", "--kernel", "rbf"},
         "tessera classify: --kernel does not apply to --method sam (see 'tessera classify --help')\n"},
        {{"classify", "a.tif", "s.cif", "o.tif", "--method", "bpnn", "--rate", "2"},
         "tessera classify: --rate must be at most 1 (got 2)\n"},
        {{"classify", "a.tif", "s.cif", "o.tif", "--method", "svm", "--gamma", "-1"},
         "tessera classify: --gamma must be at least 0 (got -1)\n"},
        {{"isodata", "a.tif", "o.tif", "--classes", "40000"},
         "tessera isodata: --classes must be at most 32767 (got 40000)\n"},
    };
    for (const auto& [args, message] : cases) {
        const CliRun r = RunTessera(args);
        EXPECT_EQ(std::tuple(r.code, r.err, r.out), std::tuple(kExitUsage, message, std::string()));
    }
    EXPECT_FALSE(fs::exists(dir));
}

SceneParams smallParams(std::uint64_t seed = 7) {
    SceneParams p{.width = 200, .height = 150, .bands = 4, .classes = 3, .seed = seed, .points = 300};
    p.polygonsPerClass = 4;
    p.block = 256;
    return p;
}

TEST(SceneModelTest, EveryClassOccursWhateverTheSeed) {
    for (std::uint64_t seed : {1, 7, 12345}) {
        std::vector<std::uint8_t> labels(200 * 150);
        SceneModel(smallParams(seed)).FillBlock(0, 0, 200, 150, labels.data(), nullptr);
        EXPECT_EQ(std::set<int>(labels.begin(), labels.end()), (std::set<int>{1, 2, 3})) << "seed " << seed;
    }
}

std::vector<int> allBands(const fs::path& path) {
    std::vector<int> all;
    for (int b = 1; b <= OpenDataset(path)->GetRasterCount(); ++b) {
        const std::vector<int> band = ReadBand(path, b);
        all.insert(all.end(), band.begin(), band.end());
    }
    return all;
}

// A raster's compression and block size.
std::tuple<std::string, int, int> layout(const fs::path& path) {
    const Dataset d = OpenDataset(path);
    int width = 0, height = 0;
    d->GetRasterBand(1)->GetBlockSize(&width, &height);
    return {d->GetMetadataItem("COMPRESSION", "IMAGE_STRUCTURE"), width, height};
}

// One small scene for the file checks, written once.
class SynthFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_files = GenerateScene(smallParams(), ScratchDir() / "scene-a"); }
    static inline SceneFiles s_files;
};

TEST_F(SynthFiles, EachTrainingPolygonLiesInsideItsClass) {
    const Dataset shp = OpenDataset(s_files.training, GDAL_OF_VECTOR);
    ASSERT_TRUE(shp);
    OGRLayer* layer = shp->GetLayer(0);
    EXPECT_EQ(layer->GetFeatureCount(), 12);
    EXPECT_TRUE(layer->GetSpatialRef() && layer->GetSpatialRef()->IsProjected());
    const std::vector<int> truth = ReadBand(s_files.truth);
    double gt[6];
    OpenDataset(s_files.truth)->GetGeoTransform(gt);
    std::map<int, int> perClass;
    std::vector<int> owner(truth.size(), 0);
    for (auto& f : *layer) {
        const int cls = f->GetFieldAsInteger("class");
        EXPECT_EQ(std::string(f->GetFieldAsString("name")), "Class " + std::to_string(cls));
        ++perClass[cls];
        OGREnvelope env;
        f->GetGeometryRef()->getEnvelope(&env);
        EXPECT_TRUE(env.MaxX - env.MinX >= 6 * 10.0 * 0.4 && env.MaxX - env.MinX <= 30 * 10.0);
        // Every pixel the polygon touches, rasterised independently.
        Dataset burn(
            GetGDALDriverManager()->GetDriverByName("MEM")->Create("", 200, 150, 1, GDT_Byte, nullptr));
        burn->SetGeoTransform(gt);
        int bandList[] = {1};
        double burnValue[] = {1};
        OGRGeometryH geometry = OGRGeometry::ToHandle(f->GetGeometryRef());
        char* options[] = {const_cast<char*>("ALL_TOUCHED=TRUE"), nullptr};
        ASSERT_EQ(GDALRasterizeGeometries(burn.get(), 1, bandList, 1, &geometry, nullptr, nullptr, burnValue,
                                          options, nullptr, nullptr),
                  CE_None);
        std::vector<std::uint8_t> mask(truth.size());
        ASSERT_EQ(burn->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, 200, 150, mask.data(), 200, 150, GDT_Byte,
                                                   0, 0, nullptr),
                  CE_None);
        EXPECT_GE(std::count(mask.begin(), mask.end(), 1), 9);
        for (size_t i = 0; i < mask.size(); ++i)
            if (mask[i]) {
                ASSERT_EQ(truth[i], cls) << "polygon " << f->GetFID() << " at pixel " << i;
                EXPECT_EQ(owner[i], 0) << "polygons " << owner[i] - 1 << " and " << f->GetFID() << " overlap";
                owner[i] = static_cast<int>(f->GetFID()) + 1;
            }
    }
    EXPECT_EQ(perClass, (std::map<int, int>{{1, 4}, {2, 4}, {3, 4}}));
}

TEST_F(SynthFiles, CheckPointsSitAtPixelCentresWithTheirTrueClass) {
    const std::vector<int> truth = ReadBand(s_files.truth);
    double gt[6];
    OpenDataset(s_files.truth)->GetGeoTransform(gt);
    std::istringstream in(ReadBytes(s_files.checkpoints));
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_EQ(line, "x,y,truth");
    std::set<std::pair<int, int>> seen;
    while (std::getline(in, line)) {
        double x = 0, y = 0;
        int cls = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf,%d", &x, &y, &cls), 3) << line;
        const double col = (x - gt[0]) / gt[1], row = (y - gt[3]) / gt[5];
        EXPECT_EQ(std::tuple(col - std::floor(col), row - std::floor(row)), std::tuple(0.5, 0.5)) << line;
        const int c = static_cast<int>(col), r = static_cast<int>(row);
        ASSERT_TRUE(c >= 0 && c < 200 && r >= 0 && r < 150) << line;
        EXPECT_EQ(cls, truth[r * 200 + c]) << line;
        EXPECT_TRUE(seen.insert({c, r}).second) << "repeated " << line;
    }
    EXPECT_EQ(seen.size(), 300u);
}

TEST_F(SynthFiles, SameParametersGiveIdenticalFilesAndAnotherSeedAnotherScene) {
    const fs::path dir = s_files.scene.parent_path(), again = ScratchDir() / "scene-a-again";
    GenerateScene(smallParams(), again);
    for (const char* name : {"scene.tif", "truth.tif", "truth.tif.aux.xml", "training.shp", "training.shx",
                             "training.dbf", "training.prj", "checkpoints.csv"}) {
        ASSERT_TRUE(fs::exists(dir / name)) << name;
        EXPECT_TRUE(ReadBytes(dir / name) == ReadBytes(again / name)) << name << " differs";
    }
    GenerateScene(smallParams(8), ScratchDir() / "scene-other-seed");
    EXPECT_NE(allBands(s_files.scene), allBands(ScratchDir() / "scene-other-seed" / "scene.tif"));
    EXPECT_NE(allBands(s_files.truth), allBands(ScratchDir() / "scene-other-seed" / "truth.tif"));
}

TEST_F(SynthFiles, TiledDeflatedGeoTiffsAndATruthThatNamesAndColoursItsClasses) {
    for (const fs::path& path : {s_files.scene, s_files.truth}) {
        EXPECT_EQ(layout(path), std::tuple("DEFLATE", 256, 256)) << path;
        EXPECT_EQ(std::string(OpenDataset(path)->GetSpatialRef()->GetAuthorityCode(nullptr)), "32650")
            << path;
    }
    const Dataset truth = OpenDataset(s_files.truth);
    GDALRasterBand* band = truth->GetRasterBand(1);
    ASSERT_TRUE(band->GetColorTable() && band->GetCategoryNames());
    EXPECT_EQ(std::string(band->GetCategoryNames()[2]), "Class 2");
    const GDALColorEntry *one = band->GetColorTable()->GetColorEntry(1),
                         *two = band->GetColorTable()->GetColorEntry(2);
    EXPECT_NE(std::tuple(one->c1, one->c2), std::tuple(two->c1, two->c2));
}

TEST(SynthScenes, NoiseWidensEveryClassByItsFactorAroundTheModelSpectra) {
    SceneParams p = smallParams();
    // One class's pixels in band 2 against the model: measured mean and deviation, the model's sigma.
    const auto measure = [&](double noise, int cls) {
        p.noise = noise;
        const SceneModel model(p);
        std::vector<std::uint8_t> labels(200 * 150);
        std::vector<std::uint16_t> values(labels.size() * 4);
        model.FillBlock(0, 0, 200, 150, labels.data(), values.data());
        double n = 0, sum = 0, squares = 0;
        for (size_t i = 0; i < labels.size(); ++i)
            if (labels[i] == cls) {
                const double v = values[i * 4 + 1];
                n += 1, sum += v, squares += v * v;
            }
        const double mean = sum / n, sd = std::sqrt(squares / n - mean * mean);
        EXPECT_NEAR(mean / model.Mean(cls, 2), 1.0, 0.05) << cls; // patch brightness varies by 5 % at most
        EXPECT_TRUE(sd > 0.9 * model.Sigma(cls, 2) && sd < 1.3 * model.Sigma(cls, 2)) << sd << " " << cls;
        return model.Sigma(cls, 2);
    };
    for (int cls : {1, 3})
        EXPECT_NEAR(measure(3.0, cls), 3 * measure(1.0, cls), 2) << cls;
}

TEST(SynthScenes, PixelsDoNotDependOnTheBlockSizeAndFailuresLeaveNothing) {
    SceneParams p = smallParams();
    p.width = 600;
    p.height = 520;
    p.points = 10;
    p.polygonsPerClass = 1;
    for (int block : {256, 512}) {
        p.block = block;
        GenerateScene(p, ScratchDir() / ("blocks-" + std::to_string(block)));
    }
    for (const char* name : {"scene.tif", "truth.tif"})
        EXPECT_EQ(allBands(ScratchDir() / "blocks-256" / name), allBands(ScratchDir() / "blocks-512" / name));
    // A cancel in the middle of the image leaves nothing behind.
    const fs::path dir = ScratchDir() / "cancelled";
    int calls = 0;
    EXPECT_THROW(
        GenerateScene(p, dir, [&](const std::string&, double percent) { return ++calls, percent < 30; }),
        std::runtime_error);
    EXPECT_GT(calls, 2);
    EXPECT_TRUE(fs::is_directory(dir) && fs::is_empty(dir));
    // No room for the polygons is a failure before writing.
    p = smallParams();
    p.width = p.height = 64;
    p.classes = 2;
    p.polygonsPerClass = 100;
    EXPECT_THROW(GenerateScene(p, ScratchDir() / "crowded"), std::runtime_error);
    EXPECT_FALSE(fs::exists(ScratchDir() / "crowded"));
}

const fs::path& scene() {
    static const fs::path dir = [] {
        const fs::path d = ScratchDir() / "classify-scene";
        const CliRun r =
            RunTessera({"synth", d.string(), "--width", "160", "--height", "120", "--classes", "4", "--bands",
                        "3", "--seed", "5", "--points", "50", "--polygons-per-class", "1"});
        EXPECT_EQ(r.code, 0) << r.err;
        return d;
    }();
    return dir;
}

// Share of pixels whose cluster, matched greedily to the truth class it most
// overlaps, is their class (greedy matching suffices for a clean scene).
double agreement(const std::vector<int>& truth, const std::vector<int>& labels) {
    std::map<std::pair<int, int>, long> overlap;
    for (size_t i = 0; i < truth.size(); ++i)
        ++overlap[{labels[i], truth[i]}];
    std::map<int, std::pair<long, int>> best;
    for (const auto& [key, n] : overlap)
        if (n > best[key.first].first)
            best[key.first] = {n, key.second};
    long agree = 0;
    for (const auto& [cluster, b] : best)
        agree += b.first;
    return 100.0 * agree / truth.size();
}

TEST(TesseraClassify, KMeansAndIsodataClassifyASynthScene) {
    const fs::path out = Scratch("classify-out");
    const std::string input = (scene() / "scene.tif").string();
    CliRun r = RunTessera(
        {"kmeans", input, (out / "k.tif").string(), "--classes", "4", "--iterations", "20", "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "kmeans: wrote " + (out / "k.tif").string() + " and its .acf\n");
    const std::vector<int> truth = ReadBand(scene() / "truth.tif");
    EXPECT_GT(agreement(truth, ReadBand(out / "k.tif")), 95.0);
    CClassifiedAssistantFile acf;
    ASSERT_TRUE(acf.ReadClassifiedAssistantFile(WPath(out / "k.acf")));
    EXPECT_EQ(acf.GetClassCount(), 5);
    // Class maps are tiled and DEFLATE-compressed unless --co says otherwise.
    EXPECT_EQ(layout(out / "k.tif"), std::tuple("DEFLATE", 256, 256));
    r = RunTessera({"kmeans", input, (out / "lzw.tif").string(), "--classes", "4", "--co", "COMPRESS=LZW",
                    "--co", "blockxsize=128", "--co=BLOCKYSIZE=64", "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(layout(out / "lzw.tif"), std::tuple("LZW", 128, 64));
    EXPECT_EQ(ReadBand(out / "lzw.tif"), ReadBand(out / "k.tif"));

    r = RunTessera({"isodata", input, (out / "i.img").string(), "--classes", "4", "--iterations", "10",
                    "--min-distance", "200", "--std-dev", "5000", "--min-pixels", "50", "--bands", "1,2,3",
                    "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    const Dataset img = OpenDataset(out / "i.img");
    ASSERT_TRUE(img);
    EXPECT_STREQ(img->GetDriver()->GetDescription(), "HFA");
    EXPECT_GT(agreement(truth, ReadBand(out / "i.img")), 90.0);
}

TEST(TesseraClassify, EverySupervisedMethodScoresAgainstTheTruthAndFailuresAreOneLineAndLeaveNothing) {
    const fs::path out = Scratch("supervised-out");
    const std::string input = (scene() / "scene.tif").string(), samples = (out / "s.cif").string();
    CliRun r = RunTessera(
        {"samples", input, (scene() / "training.shp").string(), samples, "--class-field", "class"});
    ASSERT_EQ(r.code, 0) << r.err;
    // The angle ignores brightness and the min-max boxes of one polygon per
    // class leave the tails of each class outside: those two score lower.
    const std::map<std::string, double> floors{{"mindist", 95},       {"maxlik", 95}, {"mahalanobis", 95},
                                               {"sam", 90},           {"svm", 95},    {"bpnn", 95},
                                               {"parallelepiped", 80}};
    for (const auto& [method, floor] : floors) {
        const std::string target = (out / (method + ".tif")).string(),
                          json = (out / (method + ".json")).string();
        r = RunTessera({"classify", input, samples, target, "--method", method, "--quiet"});
        ASSERT_EQ(r.code, 0) << method << ": " << r.err;
        r = RunTessera({"accuracy", target, "--reference", (scene() / "truth.tif").string(), "--report",
                        (out / (method + ".txt")).string(), "--json", json});
        ASSERT_EQ(r.code, 0) << method << ": " << r.err;
        const std::string text = ReadBytes(json);
        const size_t at = text.find("\"overall_accuracy\":");
        ASSERT_NE(at, std::string::npos);
        EXPECT_GT(std::stod(text.substr(at + 19)), floor) << method;
    }
    // The SVM wrote its model beside the output; --model classifies with it unchanged.
    ASSERT_TRUE(fs::exists(out / "svm.svm"));
    r = RunTessera({"classify", input, samples, (out / "again.tif").string(), "--method", "svm", "--model",
                    (out / "svm.svm").string(), "--kernel", "rbf", "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadBand(out / "again.tif"), ReadBand(out / "svm.tif"));
    // Failures are one line and leave nothing.
    WriteBytes(out / "empty.cif", "");
    WriteBytes(out / "corrupt.cif", "not a sample file at all");
    const std::string target = (out / "c.tif").string(), missing = (out / "missing.tif").string(),
                      csv = (scene() / "checkpoints.csv").string(), truth = (scene() / "truth.tif").string();
    std::vector<Refusal> cases = {
        {{"kmeans", input, target, "--classes", "0"}, 2, "--classes must be at least 1 (got 0)"},
        {{"kmeans", missing, target, "--quiet"}, 1, "Cannot open the input image"},
        {{"kmeans", csv, target, "--quiet"}, 1, "Cannot open the input image"},
        {{"kmeans", input, (out / "no" / "c.tif").string(), "--quiet"}, 1, "output folder does not exist"},
        {{"isodata", input, target, "--bands", "1,7", "--quiet"}, 1, "Band 7 does not exist"},
        {{"kmeans", input, target, "--format", "xyz"}, 2, "unknown format"},
        {{"kmeans", input, target, "--co", "COMPRESS=LZW", "--co", "FOO=1"},
         2,
         "--co: driver GTiff does not support creation option FOO"},
        {{"kmeans", input, target, "--co", "COMPRESS=BOGUS"},
         2,
         "--co: 'BOGUS' is an unexpected value for COMPRESS"},
        {{"classify", input, samples, target, "--method", "maxlik", "--co", "TILED"},
         2,
         "--co: creation options are KEY=VALUE"},
        {{"kmeans", input, target, "--aoi", truth, "--quiet"}, 1, "area of interest"},
        {{"classify", input, samples, target, "--method", "tree"}, 2, "--method must be"},
        {{"classify", input, samples, target, "--method", "svm", "--kernel", "cubic"}, 2, "--kernel must be"},
        {{"classify", input, samples, target, "--method", "svm", "--model", missing, "--quiet"},
         1,
         "Cannot open the SVM model file"},
    };
    for (const char* method : {"maxlik", "svm", "bpnn"}) {
        const auto classify = [&](const std::string& image, const std::string& sampleFile) {
            return std::vector<std::string>{"classify", image,  sampleFile, target,
                                            "--method", method, "--quiet"};
        };
        std::vector<std::string> bands = classify(input, samples);
        bands.insert(bands.end(), {"--bands", "1,2"});
        cases.push_back({bands, 1, "bands"});
        cases.push_back({classify(input, (out / "empty.cif").string()), 1, "Cannot read the sample file"});
        cases.push_back({classify(input, (out / "corrupt.cif").string()), 1, "Cannot read the sample file"});
        cases.push_back({classify(missing, samples), 1, "Cannot open the input image"});
    }
    ExpectRefusals(cases, out);
}

} // namespace
