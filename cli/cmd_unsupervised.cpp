// tessera kmeans / tessera isodata: the unsupervised classifications, with
// the records and defaults of the unsupervised classification window.
#include "base/commonfun.h"
#include "cli/cliprogress.h"
#include "cli/recordoptions.h"
#include "cli/subcommands.h"
#include "engine/rastersource.h"
#include "processing/unsupervised.h"

#include <ostream>

using namespace tessera;

namespace {

// The method's declared parameters and the options of every raster command.
std::vector<OptionDef> optionsOf(const std::vector<ParamInfo>& params) {
    std::vector<OptionDef> options = OptionsOf(params);
    options.insert(options.end(), {AoiOption(), BandsOption(), FormatOption(), CreationOption(),
                                   FlagOption("quiet", "no progress bar")});
    return options;
}

// One unsupervised command: its method's record, declaration and algorithm.
template <class Record, class Algorithm>
Subcommand unsupervisedCommand(const char* name, const wchar_t* taskName, const char* summary,
                               const char* details, const ParamTable<Record>& parameters) {
    CommandDef def{name,
                   summary,
                   {InputArg("IN", "input image", FileKind::Raster),
                    OutputArg("OUT", "classified image to write", FileKind::Raster)},
                   optionsOf(parameters.Infos()),
                   details};
    return {def, [name, taskName, &parameters](const ParsedOptions& o, CommandContext& context) {
                Record record;
                record.m_algorithmName = taskName;
                record.m_inputPath = CommonFun::M2U(o.Positional(0));
                record.m_outputPath = CommonFun::M2U(o.Positional(1));
                FillRecordOptions(record, o);
                ApplyParams(parameters, o, record);
                Algorithm algorithm(&record);
                RunAlgorithm(algorithm, o.Flag("quiet"));
                context.out << name << ": wrote " << o.Positional(1) << " and its .acf\n";
                return kExitOk;
            }};
}

} // namespace

Subcommand KMeansSubcommand() {
    return unsupervisedCommand<KMeanClassifyParam, CKMeanClassify>(
        "kmeans", L"K-Means", "Unsupervised classification by K-Means.",
        "Writes OUT (class values 1..K, 0 unclassified, colour table and class names) and its\n"
        ".acf assistant file. Classes are numbered from the darkest centre.",
        KMeansParameters());
}

Subcommand IsodataSubcommand() {
    return unsupervisedCommand<ISODATAClassifyParam, CISODATAClassify>(
        "isodata", L"ISODATA", "Unsupervised classification by ISODATA (split, merge, discard).",
        "--classes is the desired class count; the result has between 1 and 2K classes.\n"
        "Distances and standard deviations are in pixel-value units. See docs/algorithms.md.",
        ISODATAParameters());
}
