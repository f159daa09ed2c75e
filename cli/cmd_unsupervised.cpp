// tessera kmeans / tessera isodata: the unsupervised classifications, with
// the records and defaults of the unsupervised classification window.
#include "cli/cliprogress.h"
#include "cli/recordoptions.h"
#include "cli/subcommands.h"
#include "engine/rastersource.h"
#include "base/commonfun.h"
#include "processing/unsupervised.h"

#include <ostream>

namespace {

// Options both methods share, with the window's defaults.
std::vector<OptionDef> commonOptions() {
    return {
        IntOption("classes", "K", "number of classes").Default("5").Range(1, 65535),
        IntOption("iterations", "N", "maximum number of iterations").Default("5").Range(1, 100000),
        DoubleOption("change", "FRACTION",
                     "convergence threshold: stop when at most this fraction of pixels "
                     "changes class")
            .Default("0.05")
            .Range(0, 1),
        AoiOption(),
        BandsOption(),
        FormatOption(),
        IntOption("sample", "PIXELS",
                  "pixels the centres are fitted on (evenly spread); whole image when "
                  "smaller")
            .Default("1048576")
            .Range(1, 1e12),
        FlagOption("quiet", "no progress bar"),
    };
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
                     commonOptions(),
                     ""};
    def.details = "Writes OUT (class values 1..K, 0 unclassified, colour table and class names) and its\n"
                   ".acf assistant file. Classes are numbered from the darkest centre.";
    return def;
}

int runKMeans(const ParsedOptions& o, CommandContext& context) {
    KMeanClassifyParam record;
    fillCommon(record, o, L"K-Means");
    record.m_classCount = static_cast<int>(o.Int("classes"));
    record.m_maxIterations = static_cast<int>(o.Int("iterations"));
    record.m_changeThreshold = o.Double("change");
    record.m_sampleLimit = o.Int("sample");
    CKMeanClassify algorithm(&record);
    RunAlgorithm(algorithm, o.Flag("quiet"));
    summary(context, "kmeans", o);
    return kExitOk;
}

CommandDef isodataDef() {
    std::vector<OptionDef> options = commonOptions();
    options.insert(
        options.begin() + 3,
        {DoubleOption("min-distance", "D", "centres closer than this are merged").Default("0.5").Min(0),
         DoubleOption("std-dev", "S", "a class whose largest standard deviation exceeds this may split")
             .Default("1")
             .Min(0),
         IntOption("merge-pairs", "N", "merges per iteration at most").Default("2").Range(0, 100000),
         IntOption("min-pixels", "N", "classes with fewer pixels are discarded").Default("1000").Min(0)});
    CommandDef def{"isodata",
                     "Unsupervised classification by ISODATA (split, merge, discard).",
                     {{"IN", "input image"}, {"OUT", "classified image to write"}},
                     options,
                     ""};
    def.details = "--classes is the desired class count; the result has between 1 and 2K classes.\n"
                   "Distances and standard deviations are in pixel-value units. See docs/algorithms.md.";
    return def;
}

int runIsodata(const ParsedOptions& o, CommandContext& context) {
    ISODATAClassifyParam record;
    fillCommon(record, o, L"ISODATA");
    record.m_classCount = static_cast<int>(o.Int("classes"));
    record.m_maxIterations = static_cast<int>(o.Int("iterations"));
    record.m_changeThreshold = o.Double("change");
    record.m_minClassDistance = o.Double("min-distance");
    record.m_splitStdDev = o.Double("std-dev");
    record.m_maxMergePairs = static_cast<int>(o.Int("merge-pairs"));
    record.m_minPixelCount = static_cast<int>(o.Int("min-pixels"));
    record.m_sampleLimit = o.Int("sample");
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
