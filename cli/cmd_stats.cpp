// tessera stats: the class statistics window's rows of a classified image,
// from its class list (the .acf's counts, or with --recount or without an
// .acf the image's pixels), with areas in m2, ha and km2, as a tab-separated
// table or as JSON.
#include "base/commonfun.h"
#include "cli/cliprogress.h"
#include "cli/subcommands.h"
#include "cli/textprogress.h"
#include "engine/classifiedassistantfile.h"
#include "engine/rastersource.h"
#include "processing/classstatistics.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <iomanip>
#include <locale>
#include <optional>
#include <ostream>
#include <sstream>
#include <stdexcept>

using namespace tessera;

namespace {

CommandDef statsDef() {
    CommandDef def{
        "stats",
        "Class statistics of a classified image: pixels, share and area per class.",
        {InputArg("IN", "classified image (classes from its .acf, attribute table, category names or values)",
                  FileKind::Raster)},
        {FlagOption("json", "print JSON instead of the table"),
         FlagOption("recount", "count the pixels of each class from the image instead of taking "
                               "the counts recorded in the .acf"),
         FlagOption("quiet", "no progress bar while reading the image")},
        ""};
    def.details =
        "The table has one row per class, in the order of the .acf (ascending values for an image\n"
        "without one): class number, name, pixel count, share of all pixels (\"-\" when no class has\n"
        "any pixel), ground area and area unit in the image's ground unit (\"Unkown\" when the image\n"
        "cannot be opened), then the area in m2, ha and km2 (\"-\" when the image's unit is not a\n"
        "length). With --recount a class takes the pixels whose value is its class number; values no\n"
        "class carries are listed after the classes with an empty name. An image without .acf is\n"
        "always counted from its pixels, nodata left out.";
    def.printsResult = true;
    return def;
}

using Json = nlohmann::ordered_json;

// A number; null when undefined or not finite.
Json number(const std::optional<double>& v) {
    return v && std::isfinite(*v) ? Json(*v) : Json(nullptr);
}

// Square metres per square ground unit, when the unit is a length.
using SquareMetres = std::optional<double>;

std::optional<double> scaled(double area, const SquareMetres& perUnit, double divisor) {
    if (!perUnit)
        return std::nullopt;
    return area * *perUnit / divisor;
}

const char* sourceName(ClassListSource source) {
    switch (source) {
    case ClassListSource::AssistantFile:
        return "acf";
    case ClassListSource::AttributeTable:
        return "attribute_table";
    case ClassListSource::CategoryNames:
        return "category_names";
    case ClassListSource::PixelValues:
        break;
    }
    return "pixel_values";
}

void printJson(std::ostream& out, const std::string& image, const RasterClassList& list, bool fromImage,
               const ClassStatistics& s, const SquareMetres& perUnit) {
    Json classes = Json::array();
    for (const ClassStatistic& c : s.classes)
        classes.push_back({{"number", c.classNumber},
                           {"name", CommonFun::U2M(c.name)},
                           {"pixels", c.pixelCount},
                           {"percent", number(c.percent)},
                           {"area", number(c.area)},
                           {"area_m2", number(scaled(c.area, perUnit, 1.0))},
                           {"area_ha", number(scaled(c.area, perUnit, 1e4))},
                           {"area_km2", number(scaled(c.area, perUnit, 1e6))}});
    const Json json = {{"image", image},
                       {"classes_from", sourceName(list.source)},
                       {"assistant_file", list.source == ClassListSource::AssistantFile
                                              ? Json(CommonFun::U2M(list.sourcePath))
                                              : Json(nullptr)},
                       {"counts_from", fromImage ? "image" : "acf"},
                       {"unit", CommonFun::U2M(s.unitName)},
                       {"pixel_area", number(s.pixelArea)},
                       {"total_pixels", s.totalPixels},
                       {"classes", std::move(classes)}};
    out << json.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
}

std::string fixedText(const std::optional<double>& v, int decimals) {
    if (!v || !std::isfinite(*v))
        return "-";
    std::ostringstream s;
    s.imbue(std::locale::classic());
    s << std::fixed << std::setprecision(decimals) << *v;
    return s.str();
}

void printTable(std::ostream& out, const ClassStatistics& s, const SquareMetres& perUnit) {
    out << "class\tname\tpixels\tpercent\tarea\tunit\tm2\tha\tkm2\n";
    const std::vector<StatisticsRowTexts> rows = FormatStatisticsRows(s);
    for (size_t i = 0; i < rows.size(); ++i) {
        const StatisticsRowTexts& row = rows[i];
        const double area = s.classes[i].area;
        out << CommonFun::U2M(row[0]) << '\t' << CommonFun::U2M(row[1]) << '\t' << CommonFun::U2M(row[2])
            << '\t' << CommonFun::U2M(row[3]) << '\t' << CommonFun::U2M(row[4]) << '\t'
            << CommonFun::U2M(row[5]) << '\t' << fixedText(scaled(area, perUnit, 1.0), 2) << '\t'
            << fixedText(scaled(area, perUnit, 1e4), 4) << '\t' << fixedText(scaled(area, perUnit, 1e6), 6)
            << '\n';
    }
}

int runStats(const ParsedOptions& o, CommandContext& context) {
    const std::string& image = o.Positional(0);
    const std::wstring imagePath = CommonFun::M2U(image);
    const bool quiet = o.Flag("quiet");
    const RasterClassList list = ReadClassList(image, quiet);

    // The unit as the window finds it: the image's, or the placeholder when
    // the image cannot be opened.
    std::wstring unit = kUnknownUnitName;
    SquareMetres perUnit;
    {
        CRasterSource raster;
        if (raster.Open(imagePath) == GIS_OK) {
            unit = raster.GetUnitName(false);
            // Class values are in one band: another band's values are no classes.
            if (o.Flag("recount") && raster.GetBandCount() != 1)
                throw UsageError("--recount needs a classified image of one band; " + image + " has " +
                                 std::to_string(raster.GetBandCount()) + " bands");
            if (const std::optional<double> metres = raster.GetMetresPerUnit())
                perUnit = *metres * *metres;
        }
    }

    const CClassifiedAssistantFile acf = list.ToAssistantFile();
    ClassStatistics statistics;
    // Without an .acf the counts already come from the image.
    const bool recount = o.Flag("recount") && list.source == ClassListSource::AssistantFile;
    if (recount) {
        std::map<int, std::int64_t> counts;
        std::wstring error;
        TextProgress bar;
        if (!quiet)
            bar.Begin("Counting pixels");
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

    const bool fromImage = recount || list.source != ClassListSource::AssistantFile;
    if (o.Flag("json"))
        printJson(context.out, image, list, fromImage, statistics, perUnit);
    else
        printTable(context.out, statistics, perUnit);
    return kExitOk;
}

} // namespace

Subcommand StatsSubcommand() {
    return {statsDef(), runStats};
}
