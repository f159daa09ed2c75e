// tessera polygonize: chosen classes of a classified image to polygons in a
// vector file, with the record and algorithm of the vectorize window.
#include "base/commonfun.h"
#include "cli/cliprogress.h"
#include "cli/subcommands.h"
#include "engine/classifiedassistantfile.h"
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
        {{"IN", "classified image (its .acf gives the class names)"},
         {"OUT", "vector file to write: .shp, or any extension an OGR driver writes (.gpkg ...)"}},
        {IntListOption("classes", "LIST", "class numbers to vectorize, e.g. 1,2,5").Min(0).Required(),
         FlagOption("eight", "join pixels that touch at a corner (8-connectivity); default 4"),
         FlagOption("quiet", "no progress bar")},
        ""};
    def.details = "Writes one polygon per connected region of each chosen class, with the attributes\n"
                  "class_id (the class number) and class_name (its name in the .acf), in the image's\n"
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
    const std::wstring acfPath = PairedAssistantFilePath(record.m_inputPath);
    CClassifiedAssistantFile acf;
    if (!acf.ReadClassifiedAssistantFile(acfPath))
        throw std::runtime_error("cannot read the classification assistant file " + CommonFun::U2M(acfPath) +
                                 ": " + acf.GetLastError());
    for (std::int64_t number : o.IntList("classes")) {
        const ClassRecord* found = nullptr;
        for (const ClassRecord* r : acf.GetClassRecords())
            if (r->m_classNumber == number) {
                found = r;
                break;
            }
        if (!found)
            throw UsageError("--classes: class " + std::to_string(number) + " is not in " +
                             CommonFun::U2M(acfPath) + " (" + std::to_string(acf.GetClassCount()) +
                             " classes)");
        std::wstring key = found->m_name;
        const auto it = record.m_classMap.find(key);
        if (it != record.m_classMap.end() && it->second != found->m_classNumber)
            key += L" #" + std::to_wstring(found->m_classNumber);
        record.m_classMap[key] = found->m_classNumber;
    }
    record.m_partialClasses = static_cast<int>(record.m_classMap.size()) != acf.GetClassCount();

    CRasterPolygonize algorithm(&record, nullptr);
    RunAlgorithm(algorithm, o.Flag("quiet"));
    context.out << "polygonize: wrote " << algorithm.PolygonCount() << " polygons to " << o.Positional(1)
                << "\n";
    return kExitOk;
}

} // namespace

Subcommand PolygonizeSubcommand() {
    return {polygonizeDef(), runPolygonize, [](const ParsedOptions& o) {
                CommandFiles files{ClassifiedInputs(o.Positional(0)), {{o.Positional(1), "the output file"}}};
                // A shapefile's parts beside it.
                const std::filesystem::path out(o.Positional(1));
                if (ShapeFileFlagForPath(CommonFun::M2U(o.Positional(1))))
                    for (const char* part : {".shx", ".dbf", ".prj", ".cpg"})
                        files.writes.push_back({std::filesystem::path(out).replace_extension(part).string(),
                                                std::string("the ") + part + " of the output file"});
                return files;
            }};
}
