// tessera merge / sieve / clump: the post-classification tools, with the
// records the class merge, class filter and class clump windows fill.
#include "base/commonfun.h"
#include "cli/cliprogress.h"
#include "cli/recordoptions.h"
#include "cli/subcommands.h"
#include "engine/classifiedassistantfile.h"
#include "engine/rastersource.h"
#include "processing/postclassify.h"

#include <filesystem>
#include <ostream>
#include <stdexcept>

namespace {

std::vector<OptionDef> withCommonOptions(std::vector<OptionDef> options) {
    options.push_back(FormatOption());
    options.push_back(FlagOption("quiet", "no progress bar"));
    return options;
}

// The base fields every tool's record takes from the command line.
void fillBase(AlgorithmParam& record, const ParsedOptions& o) {
    record.m_inputPath = CommonFun::M2U(o.Positional(0));
    record.m_outputPath = CommonFun::M2U(o.Positional(1));
    FillFormat(record, o);
}

// The class table of IN, from the assistant file beside it.
CClassifiedAssistantFile readClasses(const ParsedOptions& o, std::wstring& path) {
    path = PairedAssistantFilePath(CommonFun::M2U(o.Positional(0)));
    const std::string narrow = CommonFun::U2M(path);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(narrow, ec))
        throw std::runtime_error("no classification assistant file " + narrow + " beside " + o.Positional(0));
    CClassifiedAssistantFile acf;
    if (!acf.ReadClassifiedAssistantFile(path))
        throw std::runtime_error("cannot read the classification assistant file " + narrow + ": " +
                                 acf.GetLastError());
    return acf;
}

const ClassRecord* classByNumber(const CClassifiedAssistantFile& acf, long long number) {
    for (const ClassRecord* r : acf.GetClassRecords())
        if (r->m_classNumber == number)
            return r;
    return nullptr;
}

// Name to number of the classes a --classes list names, as the windows
// build their class maps.
std::map<std::wstring, int> chosenClasses(const CClassifiedAssistantFile& acf,
                                          const std::vector<std::int64_t>& list, const std::string& acfPath) {
    std::map<std::wstring, int> map;
    for (std::int64_t number : list) {
        const ClassRecord* r = classByNumber(acf, number);
        if (!r)
            throw UsageError("--classes: class " + std::to_string(number) + " is not in " + acfPath);
        map[r->m_name] = r->m_classNumber;
    }
    return map;
}

void summary(CommandContext& context, const std::string& tool, const ParsedOptions& o) {
    context.out << tool << ": wrote " << o.Positional(1) << " and its .acf\n";
}

// ---- merge ----------------------------------------------------------------------

CommandDef mergeDef() {
    CommandDef def{
        "merge",
        "Merge classes of a classified image into other classes.",
        {{"IN", "classified image (with its .acf)"}, {"OUT", "merged image to write"}},
        withCommonOptions({StringOption("rule", "FROM=TO,...",
                                        "merge rules: each FROM class becomes the TO class; classes "
                                        "by number or by name as the .acf lists them")
                               .Required()}),
        ""};
    def.details = "Classes no rule names stay as they are. A merged class keeps its place in the .acf with\n"
                  "no pixels; the target keeps its name and colour and counts the merged pixels.";
    return def;
}

// A class of a rule side: its number when the text is one, else its name.
const ClassRecord* ruleClass(const CClassifiedAssistantFile& acf, const std::string& text) {
    const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    if (digits && text.size() < 10)
        if (const ClassRecord* r = classByNumber(acf, std::stoll(text)))
            return r;
    const std::wstring name = CommonFun::M2U(text);
    for (const ClassRecord* r : acf.GetClassRecords())
        if (r->m_name == name)
            return r;
    return nullptr;
}

int runMerge(const ParsedOptions& o, CommandContext& context) {
    CClassifyMergeParam record;
    fillBase(record, o);
    std::wstring acfPath;
    const CClassifiedAssistantFile acf = readClasses(o, acfPath);
    record.m_assistantFilePath = acfPath;
    for (const ClassRecord* r : acf.GetClassRecords())
        record.m_classMap[r->m_name] = r->m_classNumber;
    const std::string& rules = o.String("rule");
    size_t begin = 0;
    while (begin <= rules.size()) {
        const size_t comma = std::min(rules.find(',', begin), rules.size());
        const std::string rule = rules.substr(begin, comma - begin);
        const size_t eq = rule.find('=');
        if (eq == std::string::npos)
            throw UsageError("--rule expects FROM=TO pairs separated by commas, like 2=1,3=1 (got '" + rules +
                             "')");
        const ClassRecord* from = ruleClass(acf, rule.substr(0, eq));
        const ClassRecord* to = ruleClass(acf, rule.substr(eq + 1));
        if (!from || !to)
            throw UsageError("--rule: '" + rule + "' names a class that is not in " +
                             CommonFun::U2M(acfPath));
        record.m_mergeEntries.push_back(from->m_name + L"+" + to->m_name);
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
        {{"IN", "classified image (with its .acf)"}, {"OUT", "filtered image to write"}},
        withCommonOptions(
            {IntListOption("classes", "LIST", "class numbers to filter, e.g. 1,3").Min(0).Required(),
             IntOption("threshold", "N", "regions of fewer pixels are removed")
                 .Default("2")
                 .Range(0, 2147483647),
             FlagOption("eight", "regions are 8-connected (default 4-connected)")}),
        ""};
    def.details = "A removed region takes the class most frequent among the pixels bordering it that stay\n"
                  "(ties: the lower class); see docs/algorithms.md.";
    return def;
}

int runSieve(const ParsedOptions& o, CommandContext& context) {
    CClassifiedSieveParam record;
    fillBase(record, o);
    std::wstring acfPath;
    const CClassifiedAssistantFile acf = readClasses(o, acfPath);
    record.m_assistantFilePath = acfPath;
    const std::vector<std::int64_t>& list = o.IntList("classes");
    record.m_classMap = chosenClasses(acf, list, CommonFun::U2M(acfPath));
    record.m_filterClassCount = static_cast<int>(list.size());
    record.m_classCount = acf.GetClassCount();
    record.m_threshold = static_cast<int>(o.Int("threshold"));
    record.m_neighbourhood = o.Flag("eight") ? 1 : 0;
    record.m_outputDataType = PDT_Byte;
    for (const ClassRecord* r : acf.GetClassRecords())
        record.m_classNames.push_back(r->m_name);
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
        {{"IN", "classified image (with its .acf)"}, {"OUT", "clumped image to write"}},
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
    fillBase(record, o);
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
    std::wstring acfPath;
    const CClassifiedAssistantFile acf = readClasses(o, acfPath);
    record.m_assistantFilePath = acfPath;
    const std::vector<std::int64_t>& list = o.IntList("classes");
    record.m_classMap = chosenClasses(acf, list, CommonFun::U2M(acfPath));
    record.m_selectedClassCount = static_cast<int>(list.size());
    record.m_classCount = acf.GetClassCount();
    record.m_pixelSizeX = acf.GetPixelSizeX();
    record.m_pixelSizeY = acf.GetPixelSizeY();
    for (const ClassRecord* r : acf.GetClassRecords()) {
        record.m_classNames.push_back(r->m_name);
        record.m_classSecondValues.push_back(r->m_reserved);
        record.m_classPixelCounts.push_back(r->m_pixelCount);
    }
    ClassifyClump algorithm(&record);
    RunAlgorithm(algorithm, o.Flag("quiet"));
    summary(context, "clump", o);
    return kExitOk;
}

} // namespace

// Each tool reads IN and its .acf and writes OUT with its .acf.
static CommandFiles postclassFiles(const ParsedOptions& o) {
    return {ClassifiedInputs(o.Positional(0)), ImageOutputs(o.Positional(1))};
}

Subcommand MergeSubcommand() {
    return {mergeDef(), runMerge, postclassFiles};
}
Subcommand SieveSubcommand() {
    return {sieveDef(), runSieve, postclassFiles};
}
Subcommand ClumpSubcommand() {
    return {clumpDef(), runClump, postclassFiles};
}
