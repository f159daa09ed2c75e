// tessera stats: the class statistics window's rows of a classified image,
// from its .acf (or, with --recount, from the image's pixels), as a
// tab-separated table or as JSON.
#include "base/commonfun.h"
#include "cli/subcommands.h"
#include "cli/textprogress.h"
#include "engine/classifiedassistantfile.h"
#include "engine/rastersource.h"
#include "processing/classstatistics.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <optional>
#include <ostream>
#include <stdexcept>

using namespace tessera;

namespace {

CommandDef statsDef() {
    CommandDef def{"stats",
                   "Class statistics of a classified image: pixels, share and area per class.",
                   {{"IN", "classified image (its .acf is read)"}},
                   {FlagOption("json", "print JSON instead of the table"),
                    FlagOption("recount", "count the pixels of each class from the image instead of taking "
                                          "the counts recorded in the .acf"),
                    FlagOption("quiet", "no progress bar while recounting")},
                   ""};
    def.details =
        "The table has one row per class of the .acf, in file order: class number, name, pixel count,\n"
        "share of all pixels (\"-\" when no class has any pixel), ground area and area unit. The unit is\n"
        "the image's ground unit, \"Unkown\" when the image cannot be opened. With --recount a class\n"
        "takes the pixels whose value is its class number; values no class carries are listed after\n"
        "the classes with an empty name.";
    return def;
}

using Json = nlohmann::ordered_json;

// A number; null when undefined or not finite.
Json number(const std::optional<double>& v) {
    return v && std::isfinite(*v) ? Json(*v) : Json(nullptr);
}

void printJson(std::ostream& out, const std::string& image, const std::wstring& acfPath, bool recounted,
               const ClassStatistics& s) {
    Json classes = Json::array();
    for (const ClassStatistic& c : s.classes)
        classes.push_back({{"number", c.classNumber},
                           {"name", CommonFun::U2M(c.name)},
                           {"pixels", c.pixelCount},
                           {"percent", number(c.percent)},
                           {"area", number(c.area)}});
    const Json json = {{"image", image},
                       {"assistant_file", CommonFun::U2M(acfPath)},
                       {"counts_from", recounted ? "image" : "acf"},
                       {"unit", CommonFun::U2M(s.unitName)},
                       {"pixel_area", number(s.pixelArea)},
                       {"total_pixels", s.totalPixels},
                       {"classes", std::move(classes)}};
    out << json.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
}

void printTable(std::ostream& out, const ClassStatistics& s) {
    out << "class\tname\tpixels\tpercent\tarea\tunit\n";
    for (const StatisticsRowTexts& row : FormatStatisticsRows(s))
        out << CommonFun::U2M(row[0]) << '\t' << CommonFun::U2M(row[1]) << '\t' << CommonFun::U2M(row[2])
            << '\t' << CommonFun::U2M(row[3]) << '\t' << CommonFun::U2M(row[4]) << '\t'
            << CommonFun::U2M(row[5]) << '\n';
}

int runStats(const ParsedOptions& o, CommandContext& context) {
    const std::string& image = o.Positional(0);
    const std::wstring imagePath = CommonFun::M2U(image);
    const std::wstring acfPath = PairedAssistantFilePath(imagePath);
    CClassifiedAssistantFile acf;
    if (!acf.ReadClassifiedAssistantFile(acfPath))
        throw std::runtime_error("cannot read the classification assistant file " + CommonFun::U2M(acfPath) +
                                 ": " + acf.GetLastError());

    // The unit as the window finds it: the image's, or the placeholder when
    // the image cannot be opened.
    std::wstring unit = kUnknownUnitName;
    {
        CRasterSource raster;
        if (raster.Open(imagePath) == GIS_OK) {
            unit = raster.GetUnitName(false);
            // Class values are in one band: another band's values are no classes.
            if (o.Flag("recount") && raster.GetBandCount() != 1)
                throw UsageError("--recount needs a classified image of one band; " + image + " has " +
                                 std::to_string(raster.GetBandCount()) + " bands");
        }
    }

    ClassStatistics statistics;
    if (o.Flag("recount")) {
        std::map<int, std::int64_t> counts;
        std::wstring error;
        TextProgress bar;
        const bool quiet = o.Flag("quiet");
        if (!quiet) {
            bar.Begin("Counting pixels");
        }
        const bool ok = CountClassPixels(imagePath, counts, error, [&](double fraction) {
            if (!quiet)
                bar.Percent(fraction * 100.0);
            return true;
        });
        if (!quiet)
            bar.End(ok);
        if (!ok)
            throw std::runtime_error(CommonFun::U2M(error));
        statistics = ComputeClassStatistics(acf, unit, counts);
    } else {
        statistics = ComputeClassStatistics(acf, unit);
    }

    if (o.Flag("json"))
        printJson(context.out, image, acfPath, o.Flag("recount"), statistics);
    else
        printTable(context.out, statistics);
    return kExitOk;
}

} // namespace

Subcommand StatsSubcommand() {
    return {statsDef(), runStats};
}
