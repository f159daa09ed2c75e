// tessera merge / sieve / clump: the post-classification tools, with the
// records the class merge, class filter and class clump windows fill.
#include "base/commonfun.h"
#include "cli/cliprogress.h"
#include "cli/recordoptions.h"
#include "cli/subcommands.h"
#include "engine/classlist.h"
#include "engine/rastersource.h"
#include "processing/postclassify.h"

#include <filesystem>
#include <ostream>
#include <stdexcept>

using namespace tessera;

namespace {

std::vector<OptionDef> withCommonOptions(std::vector<OptionDef> options) {
    options.push_back(FormatOption());
    options.push_back(CreationOption());
    options.push_back(FlagOption("quiet", "no progress bar"));
    return options;
}

// The base fields every tool's record takes from the command line, and the
// task's English title (the algorithms default to the windows' titles).
void fillBase(AlgorithmParam& record, const ParsedOptions& o, const wchar_t* title) {
    record.m_algorithmName = title;
    record.m_inputPath = CommonFun::M2U(o.Positional(0));
    record.m_outputPath = CommonFun::M2U(o.Positional(1));
    FillFormat(record, o);
}

// The classes of IN, wherever the image keeps them.
RasterClassList readClasses(const ParsedOptions& o) {
    return ReadClassList(o.Positional(0), o.Flag("quiet"));
}

// Name to number of the classes a --classes list names, as the windows
// build their class maps.
std::map<std::wstring, int> chosenClasses(const RasterClassList& list,
                                          const std::vector<std::int64_t>& numbers) {
    std::map<std::wstring, int> map;
    for (std::int64_t number : numbers) {
        const RasterClass* c = number >= 0 && number <= 65535 ? list.Find(static_cast<int>(number)) : nullptr;
        if (!c)
            throw UsageError("--classes: class " + std::to_string(number) + " is not in " +
                             CommonFun::U2M(list.SourceText()));
        map[c->name] = c->value;
    }
    return map;
}

void summary(CommandContext& context, const std::string& tool, const ParsedOptions& o) {
    context.out << tool << ": wrote " << o.Positional(1) << " and its .acf\n";
}

// ---- merge ----------------------------------------------------------------------

PositionalDef classifiedInput() {
    return InputArg("IN",
                    "classified image (classes from its .acf, attribute table, category names or values)",
                    FileKind::Raster);
}

CommandDef mergeDef() {
    CommandDef def{
        "merge",
        "Merge classes of a classified image into other classes.",
        {classifiedInput(), OutputArg("OUT", "merged image to write", FileKind::Raster)},
        withCommonOptions({StringOption("rule", "FROM=TO,...",
                                        "merge rules: each FROM class becomes the TO class; classes "
                                        "by number or by name as the image's class list gives them")
                               .Required()}),
        ""};
    def.details = "Classes no rule names stay as they are. A merged class keeps its place in the .acf with\n"
                  "no pixels; the target keeps its name and colour and counts the merged pixels.";
    return def;
}

// A class of a rule side: its number when the text is one, else its name.
const RasterClass* ruleClass(const RasterClassList& list, const std::string& text) {
    const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    if (digits && text.size() < 6)
        if (const RasterClass* c = list.Find(std::stoi(text)))
            return c;
    const std::wstring name = CommonFun::M2U(text);
    for (const RasterClass& c : list.classes)
        if (c.name == name)
            return &c;
    return nullptr;
}

int runMerge(const ParsedOptions& o, CommandContext& context) {
    CClassifyMergeParam record;
    fillBase(record, o, L"Class merge");
    const RasterClassList list = readClasses(o);
    for (const RasterClass& c : list.classes)
        record.m_classMap[c.name] = c.value;
    const std::string& rules = o.String("rule");
    size_t begin = 0;
    while (begin <= rules.size()) {
        const size_t comma = std::min(rules.find(',', begin), rules.size());
        const std::string rule = rules.substr(begin, comma - begin);
        const size_t eq = rule.find('=');
        if (eq == std::string::npos)
            throw UsageError("--rule expects FROM=TO pairs separated by commas, like 2=1,3=1 (got '" + rules +
                             "')");
        const RasterClass* from = ruleClass(list, rule.substr(0, eq));
        const RasterClass* to = ruleClass(list, rule.substr(eq + 1));
        if (!from || !to)
            throw UsageError("--rule: '" + rule + "' names a class that is not in " +
                             CommonFun::U2M(list.SourceText()));
        record.m_mergeEntries.push_back(from->name + L"+" + to->name);
        begin = comma + 1;
    }
    CClassifyMerge algorithm(&record);
    RunAlgorithm(algorithm, o.Flag("quiet"));
    summary(context, "merge", o);
    return kExitOk;
}

// ---- sieve ----------------------------------------------------------------------

CommandDef sieveDef() {
    CommandDef def{
        "sieve",
        "Remove small regions of chosen classes (class filter).",
        {classifiedInput(), OutputArg("OUT", "filtered image to write", FileKind::Raster)},
        withCommonOptions(
            {IntListOption("classes", "LIST", "class numbers to filter, e.g. 1,3").Min(0).Required(),
             IntOption("threshold", "N", "regions of fewer pixels are removed")
                 .Default("2")
                 .Range(0, 2147483647),
             FlagOption("eight", "regions are 8-connected (default 4-connected)")}),
        ""};
    def.details = "Small regions merge smallest first, each into the class it shares most pixel pairs with\n"
                  "(regions that stay first; ties: the lower class), until none touches another region;\n"
                  "see docs/algorithms.md.";
    return def;
}

int runSieve(const ParsedOptions& o, CommandContext& context) {
    CClassifiedSieveParam record;
    fillBase(record, o, L"Class sieve");
    const RasterClassList list = readClasses(o);
    const std::vector<std::int64_t>& chosen = o.IntList("classes");
    record.m_classMap = chosenClasses(list, chosen);
    record.m_filterClassCount = static_cast<int>(chosen.size());
    record.m_classCount = static_cast<int>(list.classes.size());
    record.m_threshold = static_cast<int>(o.Int("threshold"));
    record.m_neighbourhood = o.Flag("eight") ? 1 : 0;
    record.m_outputDataType = PDT_Byte;
    for (const RasterClass& c : list.classes)
        record.m_classNames.push_back(c.name);
    CClassifiedSieve algorithm(&record);
    RunAlgorithm(algorithm, o.Flag("quiet"));
    summary(context, "sieve", o);
    return kExitOk;
}

// ---- clump ----------------------------------------------------------------------

CommandDef clumpDef() {
    CommandDef def{
        "clump",
        "Clump chosen classes by a morphological closing.",
        {classifiedInput(), OutputArg("OUT", "clumped image to write", FileKind::Raster)},
        withCommonOptions(
            {IntListOption("classes", "LIST", "class numbers to clump, e.g. 1,3").Min(0).Required(),
             StringOption("element", "h|v|BITS",
                          "structuring element: h (1 x 3), v (3 x 1) or nine 0/1 "
                          "digits of a 3 x 3 element, row by row")
                 .Default("h")}),
        ""};
    def.details = "The element's anchor is its centre. Pixels of other classes that the closing of a chosen\n"
                  "class covers take that class; see docs/algorithms.md.";
    return def;
}

int runClump(const ParsedOptions& o, CommandContext& context) {
    CClassifyClumpParam record;
    fillBase(record, o, L"Class clump");
    const std::string& element = o.String("element");
    if (element == "h") {
        record.m_elementValues = {1, 1, 1};
        record.m_elementRows = 1, record.m_elementColumns = 3, record.m_anchorColumn = 1,
        record.m_anchorRow = 0;
    } else if (element == "v") {
        record.m_elementValues = {1, 1, 1};
        record.m_elementRows = 3, record.m_elementColumns = 1, record.m_anchorColumn = 0,
        record.m_anchorRow = 1;
    } else if (element.size() == 9 && element.find_first_not_of("01") == std::string::npos) {
        for (char c : element)
            record.m_elementValues.push_back(c == '1' ? 1.0 : 0.0);
        record.m_elementRows = 3, record.m_elementColumns = 3, record.m_anchorColumn = 1,
        record.m_anchorRow = 1;
    } else {
        throw UsageError("--element expects h, v or nine 0/1 digits like 010111010 (got '" + element + "')");
    }
    const RasterClassList list = readClasses(o);
    const std::vector<std::int64_t>& chosen = o.IntList("classes");
    record.m_classMap = chosenClasses(list, chosen);
    record.m_selectedClassCount = static_cast<int>(chosen.size());
    record.m_classCount = static_cast<int>(list.classes.size());
    record.m_pixelSizeX = list.pixelSizeX;
    record.m_pixelSizeY = list.pixelSizeY;
    for (const RasterClass& c : list.classes) {
        record.m_classNames.push_back(c.name);
        record.m_classSecondValues.push_back(0);
        record.m_classPixelCounts.push_back(c.pixelCount);
    }
    ClassifyClump algorithm(&record);
    RunAlgorithm(algorithm, o.Flag("quiet"));
    summary(context, "clump", o);
    return kExitOk;
}

} // namespace

Subcommand MergeSubcommand() {
    return {mergeDef(), runMerge};
}
Subcommand SieveSubcommand() {
    return {sieveDef(), runSieve};
}
Subcommand ClumpSubcommand() {
    return {clumpDef(), runClump};
}
