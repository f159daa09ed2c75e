// tessera synth: writes a seeded synthetic scene (image, ground truth,
// training polygons, check points) for tests, the demo and benchmarks.
#include "cli/scenegen.h"
#include "cli/subcommands.h"
#include "cli/textprogress.h"

#include <gdal.h>

#include <ostream>

namespace {

CommandDef synthDef() {
    CommandDef def;
    def.name = "synth";
    def.summary = "Generate a seeded synthetic scene: image, ground truth, training polygons, check points.";
    def.positionals = {OutputArg("OUT_DIR", "folder to write into (created if missing)", FileKind::Folder)};
    def.options = {
        IntOption("size", "N", "width and height in pixels").Default("1000").Range(32, 100000),
        IntOption("width", "W", "width in pixels, instead of --size").Range(32, 100000),
        IntOption("height", "H", "height in pixels, instead of --size").Range(32, 100000),
        IntOption("bands", "B", "number of bands").Default("4").Range(1, 64),
        IntOption("classes", "K", "number of classes").Default("6").Range(1, 64),
        IntOption("seed", "S", "seed of every random choice").Default("1").Range(0, 9007199254740991.0),
        DoubleOption("pixel", "M", "pixel size in metres").Default("10").Range(0.01, 100000),
        IntOption("epsg", "CODE", "EPSG code of a projected coordinate system")
            .Default("32650")
            .Range(1, 999999),
        IntOption("points", "N", "number of check points").Default("500").Range(0, 10000000),
        IntOption("polygons-per-class", "N", "training polygons per class").Default("4").Range(0, 1000),
        DoubleOption(
            "noise", "F",
            "class spread: each class's standard deviations times F; above about 3 the classes overlap")
            .Default("1")
            .Range(0.01, 100),
        IntOption("block", "N", "edge of the blocks written at once, a multiple of 256")
            .Default("512")
            .Range(256, 8192),
    };
    def.details =
        "Writes OUT_DIR/scene.tif (UInt16 GeoTIFF, tiled 256 x 256, DEFLATE), truth.tif (Byte classes\n"
        "1..K with colour table and names), training.shp (fields class, name) and checkpoints.csv\n"
        "(x,y,truth at pixel centres). The same options give byte-identical files.";
    return def;
}

int runSynth(const ParsedOptions& o, CommandContext& context) {
    SceneParams p;
    if (o.Given("size") && (o.Given("width") || o.Given("height")))
        throw UsageError("--size cannot be combined with --width or --height");
    if (o.Given("width") != o.Given("height"))
        throw UsageError(std::string(o.Given("width") ? "--width needs --height" : "--height needs --width"));
    p.width = static_cast<int>(o.Given("width") ? o.Int("width") : o.Int("size"));
    p.height = static_cast<int>(o.Given("height") ? o.Int("height") : o.Int("size"));
    p.bands = static_cast<int>(o.Int("bands"));
    p.classes = static_cast<int>(o.Int("classes"));
    p.seed = static_cast<std::uint64_t>(o.Int("seed"));
    p.pixelSize = o.Double("pixel");
    p.epsg = static_cast<int>(o.Int("epsg"));
    p.points = static_cast<int>(o.Int("points"));
    p.polygonsPerClass = static_cast<int>(o.Int("polygons-per-class"));
    p.noise = o.Double("noise");
    p.block = static_cast<int>(o.Int("block"));
    if (p.block % 256 != 0)
        throw UsageError("--block must be a multiple of 256 (got " + std::to_string(p.block) + ")");
    const std::filesystem::path dir = o.Positional(0);

    // The process's GDAL block cache: enough for a row of blocks, bounded
    // whatever the scene size.
    GDALSetCacheMax64(128LL << 20);

    try {
        ValidateSceneParams(p);
    } catch (const std::invalid_argument& e) {
        throw UsageError(e.what()); // a combination of values the table cannot check
    }

    TextProgress bar;
    bar.Begin("synth");
    SceneFiles files;
    try {
        files = GenerateScene(p, dir, [&bar](const std::string& step, double percent) {
            bar.Step(step);
            bar.Percent(percent);
            return !Interrupted();
        });
    } catch (...) {
        bar.End(false);
        throw;
    }
    bar.End(true);
    context.out << "synth: " << p.width << " x " << p.height << " pixels, " << p.bands << " bands, "
                << p.classes << " classes, seed " << p.seed << ": " << files.scene.string() << ", "
                << files.truth.string() << ", " << files.training.string() << " ("
                << p.classes * p.polygonsPerClass << " polygons), " << files.checkpoints.string() << " ("
                << p.points << " points)\n";
    return kExitOk;
}

} // namespace

Subcommand SynthSubcommand() {
    return {synthDef(), runSynth};
}
