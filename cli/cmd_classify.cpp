// tessera classify: supervised classification from a sample file, with the
// methods of the classifier table and the records the windows fill.
#include "base/commonfun.h"
#include "cli/cliprogress.h"
#include "cli/recordoptions.h"
#include "cli/subcommands.h"
#include "engine/formatio.h"
#include "processing/classifiers.h"

#include <algorithm>
#include <ostream>

using namespace tessera;

namespace {

// The method whose decision weighs the classes by their priors.
constexpr const char* kPriorsMethod = "maxlik";

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
                             "the trained model is written beside OUT as OUT's name + " +
                                 m.modelExtension)
                    .Reads(FileKind::Model));
        if (m.name == kPriorsMethod)
            group.options.push_back(StringOption(
                "priors", "LIST", "prior probability of each class, e.g. 0.5,0.3,0.2; default equal"));
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
        StringOption("confidence", "FILE",
                     "also write a Float32 GeoTIFF of each pixel's confidence (see below); -1 where OUT is 0")
            .Writes(FileKind::Raster),
        DoubleOption("validate", "FRACTION",
                     "hold this share of each sample's polygons out of training and write the accuracy on "
                     "them beside OUT (OUT's name + .validation.txt and .validation.json)")
            .Range(0, 0.9)
            .Default("0"),
        IntOption("seed", "S", "seed of the held-out polygons and of the random forest")
            .Range(0, 4294967295.0)
            .Default("1"),
        CreationOption(),
        FlagOption("quiet", "no progress bar"),
    };
    def.details =
        "Methods:\n" + def.details +
        "Class i of OUT is the i-th sample of SAMPLES, with its name and colour; 0 is unclassified.\n"
        "The confidence is the posterior probability for maxlik, the distance to the class mean for "
        "mindist,\nmahalanobis and parallelepiped, the angle in radians for sam, the class probability "
        "for svm\nand bpnn, and the share of the trees' votes for rf.";
    return def;
}

std::vector<double> priorList(const std::string& text) {
    std::vector<double> priors;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(',', start), text.size());
        double value = 0;
        if (!formatio::ParseFiniteDouble(std::string_view(text).substr(start, end - start), value) ||
            value <= 0)
            throw UsageError("--priors: expected positive numbers separated by commas, got '" + text + "'");
        priors.push_back(value);
        start = end + 1;
    }
    return priors;
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
    if (o.Has("confidence"))
        in.extras.confidencePath = CommonFun::M2U(o.String("confidence"));
    in.extras.validateFraction = o.Double("validate");
    in.extras.seed = static_cast<std::uint64_t>(o.Int("seed"));
    if (method.name == kPriorsMethod && o.Has("priors"))
        in.extras.priors = priorList(o.String("priors"));
    std::unique_ptr<CBaseAlgorithm> algorithm = method.create(in);
    RunAlgorithm(*algorithm, o.Flag("quiet"));
    context.out << "classify (" << method.name << "): wrote " << o.Positional(2) << " and its .acf";
    if (method.modelPath && in.modelPath.empty())
        context.out << "; model " << CommonFun::U2M(method.modelPath(in.base.m_outputPath));
    if (o.Has("confidence"))
        context.out << "; confidence " << o.String("confidence");
    if (in.extras.validateFraction > 0)
        context.out << "; validation " << CommonFun::U2M(ValidationReportPath(in.base.m_outputPath));
    context.out << "\n";
    return kExitOk;
}

// Beyond the declared files: the model a method trains and saves beside OUT
// when no --model is given, and the validation report.
CommandFiles filesBesideOut(const ParsedOptions& o) {
    CommandFiles files;
    const ClassifierMethod& method = *FindClassifierMethod(o.String("method"));
    const std::wstring out = CommonFun::M2U(o.Positional(2));
    if (method.modelPath && !o.Has("model"))
        files.writes.push_back({CommonFun::U2M(method.modelPath(out)), "the trained model"});
    if (o.Double("validate") > 0) {
        files.writes.push_back({CommonFun::U2M(ValidationReportPath(out)), "the validation report"});
        files.writes.push_back({CommonFun::U2M(ValidationJsonPath(out)), "the validation JSON"});
    }
    return files;
}

} // namespace

Subcommand ClassifySubcommand() {
    return {classifyDef(), runClassify, filesBesideOut};
}
