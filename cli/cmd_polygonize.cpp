// tessera polygonize: chosen classes of a classified image to polygons in a
// vector file, with the record and algorithm of the vectorize window.
#include "base/commonfun.h"
#include "cli/cliprogress.h"
#include "cli/subcommands.h"
#include "processing/classstatistics.h"
#include "processing/polygonize.h"

#include <filesystem>
#include <ostream>
#include <stdexcept>

using namespace tessera;

namespace {

CommandDef polygonizeDef() {
    CommandDef def{
        "polygonize",
        "Chosen classes of a classified image to polygons in a shapefile.",
        {InputArg("IN", "classified image (its .acf, attribute table or category names give the class names)",
                  FileKind::Raster),
         OutputArg("OUT", "vector file to write: .shp, or any extension an OGR driver writes (.gpkg ...)",
                   FileKind::Vector)},
        {IntListOption("classes", "LIST", "class numbers to vectorize, e.g. 1,2,5").Min(0).Required(),
         FlagOption("eight", "join pixels that touch at a corner (8-connectivity); default 4"),
         FlagOption("quiet", "no progress bar")},
        ""};
    def.details =
        "Writes one polygon per connected region of each chosen class, with the attributes\n"
        "class_id (the class number) and class_name (its name in the image's class list), in the image's\n"
        "coordinate system (.prj). An earlier OUT is replaced; a failure leaves nothing.";
    return def;
}

int runPolygonize(const ParsedOptions& o, CommandContext& context) {
    CRasterPolygonizeParam record;
    record.m_algorithmName = L"Polygonize";
    record.m_inputPath = CommonFun::M2U(o.Positional(0));
    record.m_outputPath = CommonFun::M2U(o.Positional(1));
    record.m_shapeFile = ShapeFileFlagForPath(record.m_outputPath);
    record.m_connectivity = o.Flag("eight") ? 8 : 0;

    // The class map is keyed by name, as the window builds it; two chosen
    // classes of one name get their number added to keep both.
    const RasterClassList list = ReadClassList(o.Positional(0), o.Flag("quiet"));
    for (std::int64_t number : o.IntList("classes")) {
        const RasterClass* found = number <= 65535 ? list.Find(static_cast<int>(number)) : nullptr;
        if (!found)
            throw UsageError("--classes: class " + std::to_string(number) + " is not in " +
                             CommonFun::U2M(list.SourceText()) + " (" + std::to_string(list.classes.size()) +
                             " classes)");
        std::wstring key = found->name;
        const auto it = record.m_classMap.find(key);
        if (it != record.m_classMap.end() && it->second != found->value)
            key += L" #" + std::to_wstring(found->value);
        record.m_classMap[key] = found->value;
    }
    record.m_partialClasses = record.m_classMap.size() != list.classes.size();

    CRasterPolygonize algorithm(&record, nullptr);
    RunAlgorithm(algorithm, o.Flag("quiet"));
    context.out << "polygonize: wrote " << algorithm.PolygonCount() << " polygons to " << o.Positional(1)
                << "\n";
    return kExitOk;
}

} // namespace

Subcommand PolygonizeSubcommand() {
    return {polygonizeDef(), runPolygonize};
}
