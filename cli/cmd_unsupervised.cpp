// tessera kmeans / tessera isodata: the unsupervised classifications, with
// the records and defaults of the unsupervised classification window.
#include "cli/cliprogress.h"
#include "cli/recordoptions.h"
#include "cli/subcommands.h"
#include "engine/rastersource.h"
#include "base/commonfun.h"
#include "processing/unsupervised.h"

#include <ostream>

using namespace tessera;

namespace {

// The method's declared parameters and the options of every raster command.
std::vector<OptionDef> optionsOf(const std::vector<ParamInfo>& params) {
    std::vector<OptionDef> options = OptionsOf(params);
    options.insert(options.end(), {AoiOption(), BandsOption(), FormatOption(), FlagOption("quiet", "no progress bar")});
    return options;
}

void fillCommon(AlgorithmParam& record, const ParsedOptions& o, const wchar_t* name) {
    record.m_algorithmName = name;
    record.m_inputPath = CommonFun::M2U(o.Positional(0));
    record.m_outputPath = CommonFun::M2U(o.Positional(1));
    FillRecordOptions(record, o);
}

void summary(CommandContext& context, const std::string& method, const ParsedOptions& o) {
    context.out << method << ": wrote " << o.Positional(1) << " and its .acf\n";
}

CommandDef kmeansDef() {
    CommandDef def{"kmeans",
                     "Unsupervised classification by K-Means.",
                     {{"IN", "input image"}, {"OUT", "classified image to write"}},
                     optionsOf(KMeansParameters().Infos()),
                     ""};
    def.details = "Writes OUT (class values 1..K, 0 unclassified, colour table and class names) and its\n"
                   ".acf assistant file. Classes are numbered from the darkest centre.";
    return def;
}

int runKMeans(const ParsedOptions& o, CommandContext& context) {
    KMeanClassifyParam record;
    fillCommon(record, o, L"K-Means");
    ApplyParams(KMeansParameters(), o, record);
    CKMeanClassify algorithm(&record);
    RunAlgorithm(algorithm, o.Flag("quiet"));
    summary(context, "kmeans", o);
    return kExitOk;
}

CommandDef isodataDef() {
    CommandDef def{"isodata",
                     "Unsupervised classification by ISODATA (split, merge, discard).",
                     {{"IN", "input image"}, {"OUT", "classified image to write"}},
                     optionsOf(ISODATAParameters().Infos()),
                     ""};
    def.details = "--classes is the desired class count; the result has between 1 and 2K classes.\n"
                   "Distances and standard deviations are in pixel-value units. See docs/algorithms.md.";
    return def;
}

int runIsodata(const ParsedOptions& o, CommandContext& context) {
    ISODATAClassifyParam record;
    fillCommon(record, o, L"ISODATA");
    ApplyParams(ISODATAParameters(), o, record);
    CISODATAClassify algorithm(&record);
    RunAlgorithm(algorithm, o.Flag("quiet"));
    summary(context, "isodata", o);
    return kExitOk;
}

} // namespace

Subcommand KMeansSubcommand() {
    return {kmeansDef(), runKMeans};
}
Subcommand IsodataSubcommand() {
    return {isodataDef(), runIsodata};
}
