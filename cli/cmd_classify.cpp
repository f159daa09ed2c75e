// tessera classify: supervised classification from a sample file, with the
// methods of the classifier table and the records the windows fill.
#include "base/commonfun.h"
#include "cli/cliprogress.h"
#include "cli/recordoptions.h"
#include "cli/subcommands.h"
#include "processing/classifiers.h"

#include <ostream>

using namespace tessera;

namespace {

CommandDef classifyDef() {
    CommandDef def;
    def.name = "classify";
    def.summary = "Supervised classification from a training-sample file (.cif).";
    def.positionals = {InputArg("IN", "input image", FileKind::Raster),
                       InputArg("SAMPLES", "sample file (.cif) with one sample per class", FileKind::Samples),
                       OutputArg("OUT", "classified image to write", FileKind::Raster)};
    std::vector<std::string> names;
    for (const ClassifierMethod& m : ClassifierMethods()) {
        names.push_back(m.name);
        OptionGroup group{m.name, OptionsOf(m.params), m.summary};
        if (m.modelPath)
            group.options.push_back(
                StringOption("model", "FILE",
                             "classify with this trained model instead of training; by default "
                             "the trained model is written beside OUT as OUT's name + .svm")
                    .Reads(FileKind::Model));
        def.groups.push_back(std::move(group));
        def.details +=
            "  " + m.name + std::string(m.name.size() < 16 ? 16 - m.name.size() : 1, ' ') + m.summary + "\n";
    }
    def.selector = "method";
    def.options = {
        StringOption("method", "NAME", "the classifier, see below").Choices(names).Required(),
        AoiOption(),
        BandsOption("bands to use, e.g. 1,2,3 (the sample file must cover them); default all"),
        FormatOption(),
        CreationOption(),
        FlagOption("quiet", "no progress bar"),
    };
    def.details =
        "Methods:\n" + def.details +
        "Class i of OUT is the i-th sample of SAMPLES, with its name and colour; 0 is unclassified.";
    return def;
}

int runClassify(const ParsedOptions& o, CommandContext& context) {
    const ClassifierMethod& method = *FindClassifierMethod(o.String("method"));
    ClassifierInputs in;
    in.base.m_inputPath = CommonFun::M2U(o.Positional(0));
    in.samplePath = CommonFun::M2U(o.Positional(1));
    in.base.m_outputPath = CommonFun::M2U(o.Positional(2));
    FillRecordOptions(in.base, o);
    for (const ParamInfo& param : method.params)
        in.values[param.name] = ParamValue(param, o);
    if (method.modelPath && o.Has("model"))
        in.modelPath = CommonFun::M2U(o.String("model"));
    std::unique_ptr<CBaseAlgorithm> algorithm = method.create(in);
    RunAlgorithm(*algorithm, o.Flag("quiet"));
    context.out << "classify (" << method.name << "): wrote " << o.Positional(2) << " and its .acf";
    if (method.modelPath && in.modelPath.empty())
        context.out << "; model " << CommonFun::U2M(method.modelPath(in.base.m_outputPath));
    context.out << "\n";
    return kExitOk;
}

// Beyond the declared files: the model a method trains and saves beside OUT
// when no --model is given.
CommandFiles trainedModel(const ParsedOptions& o) {
    CommandFiles files;
    const ClassifierMethod& method = *FindClassifierMethod(o.String("method"));
    if (method.modelPath && !o.Has("model"))
        files.writes.push_back(
            {CommonFun::U2M(method.modelPath(CommonFun::M2U(o.Positional(2)))), "the trained model"});
    return files;
}

} // namespace

Subcommand ClassifySubcommand() {
    return {classifyDef(), runClassify, trainedModel};
}
