// tessera classify: supervised classification from a sample file, with the
// records and algorithms the supervised, SVM and BP network windows use.
#include "cli/cliprogress.h"
#include "cli/recordoptions.h"
#include "cli/subcommands.h"
#include "base/commonfun.h"
#include "processing/bpnnclassify.h"
#include "processing/supervised.h"
#include "processing/svmclassify.h"

#include <map>
#include <ostream>

namespace {

// The decision rules of the common supervised window; svm and bpnn are the
// two learners.
const std::map<std::string, SuperviseClassifyType>& ruleMethods() {
    static const std::map<std::string, SuperviseClassifyType> all{
        {"mindist", SUPERVISE_MINIMUM_DISTANCE}, {"maxlik", SUPERVISE_MAXIMUM_LIKELIHOOD},
        {"mahalanobis", SUPERVISE_MAHALANOBIS},  {"sam", SUPERVISE_SPECTRAL_ANGLE},
        {"parallelepiped", SUPERVISE_PARALLELEPIPED}};
    return all;
}

const std::map<std::string, int>& kernels() {
    static const std::map<std::string, int> all{{"linear", SVM_KERNEL_LINEAR},
                                                {"poly", SVM_KERNEL_POLYNOMIAL},
                                                {"rbf", SVM_KERNEL_RBF},
                                                {"sigmoid", SVM_KERNEL_SIGMOID}};
    return all;
}

CommandDef classifyDef() {
    CommandDef def;
    def.name = "classify";
    def.summary = "Supervised classification from a training-sample file (.cif).";
    def.positionals = {{"IN", "input image"}, {"SAMPLES", "sample file (.cif) with one sample per class"},
                        {"OUT", "classified image to write"}};
    def.options = {
        StringOption("method", "NAME", "mindist, maxlik, mahalanobis, sam, parallelepiped, svm or bpnn").Required(),
        DoubleOption("threshold", "T",
                     "rejection: mindist largest distance, maxlik/mahalanobis largest Mahalanobis distance, sam "
                     "largest angle in radians, parallelepiped box half-width in standard deviations; 0 none "
                     "(parallelepiped: min-max boxes; sam defaults to 0.5)")
            .Min(0),
        StringOption("kernel", "NAME", "svm: linear, poly, rbf or sigmoid (default linear)"),
        DoubleOption("coef0", "C", "svm: constant term of the poly and sigmoid kernels (default 1)"),
        DoubleOption("gamma", "G", "svm: kernel gamma (default 0.143)").Min(0),
        IntOption("degree", "N", "svm: polynomial degree (default 2)").Range(1, 20),
        StringOption("model", "FILE",
                     "svm: classify with this trained model instead of training; by default the trained model "
                     "is written beside OUT as OUT's name + .svm"),
        DoubleOption("rate", "R", "bpnn: learning rate, 0.01 to 1 (default 0.01)").Range(0.01, 1),
        DoubleOption("max-error", "E", "bpnn: stop when the training error falls to E, 0 to 1 (default 0.001)")
            .Range(0, 1),
        IntOption("iterations", "N", "bpnn: most training pixels presented (default 100000)").Range(1, 4294967295.0),
        AoiOption(),
        BandsOption("bands to use, e.g. 1,2,3 (the sample file must cover them); default all"),
        FormatOption(),
        FlagOption("quiet", "no progress bar"),
    };
    def.details = "Class i of OUT is the i-th sample of SAMPLES, with its name and colour; 0 is unclassified. "
                   "svm and bpnn learn from the pixels under the samples' shapes.";
    return def;
}

void fillPaths(AlgorithmParam& record, std::wstring& samplePath, const ParsedOptions& o) {
    record.m_inputPath = CommonFun::M2U(o.Positional(0));
    samplePath = CommonFun::M2U(o.Positional(1));
    record.m_outputPath = CommonFun::M2U(o.Positional(2));
    FillRecordOptions(record, o);
}

std::unique_ptr<CBaseAlgorithm> svmAlgorithm(const ParsedOptions& o) {
    CSvmClassifyParam record;
    fillPaths(record, record.m_sampleFilePath, o);
    if (o.Has("kernel")) {
        const auto kernel = kernels().find(o.String("kernel"));
        if (kernel == kernels().end())
            throw UsageError("--kernel: unknown kernel '" + o.String("kernel") + "' (linear, poly, rbf or sigmoid)");
        record.m_kernelType = kernel->second;
    }
    if (o.Has("coef0"))
        record.m_coef0 = o.Double("coef0");
    if (o.Has("gamma"))
        record.m_gamma = o.Double("gamma");
    if (o.Has("degree"))
        record.m_degree = static_cast<std::int32_t>(o.Int("degree"));
    record.m_modelFilePath =
        o.Has("model") ? CommonFun::M2U(o.String("model")) : SvmModelFilePath(record.m_outputPath);
    auto algorithm = std::make_unique<CSvmClassifyProcessAlg>(&record);
    algorithm->ReuseModel(o.Has("model"));
    return algorithm;
}

std::unique_ptr<CBaseAlgorithm> bpAlgorithm(const ParsedOptions& o) {
    CSuperviseBPNNParam record;
    fillPaths(record, record.m_sampleFilePath, o);
    if (o.Has("rate"))
        record.m_learningRate = o.Double("rate");
    if (o.Has("max-error"))
        record.m_maxError = o.Double("max-error");
    if (o.Has("iterations"))
        record.m_maxIterations = static_cast<std::uint32_t>(o.Int("iterations"));
    return std::make_unique<CBPNNClassify>(&record);
}

std::unique_ptr<CBaseAlgorithm> ruleAlgorithm(SuperviseClassifyType kind, const ParsedOptions& o) {
    CSuperviseCommonParam record;
    fillPaths(record, record.m_sampleFilePath, o);
    // The spectral angle window starts at 0.5 radians; the others at 0.
    record.m_threshold = o.Has("threshold") ? o.Double("threshold") : (kind == SUPERVISE_SPECTRAL_ANGLE ? 0.5 : 0.0);
    return std::unique_ptr<CBaseAlgorithm>(CSuperviseAlgFactory::CreateAlgorithm(kind, &record, nullptr));
}

int runClassify(const ParsedOptions& o, CommandContext& context) {
    const std::string method = o.String("method");
    std::unique_ptr<CBaseAlgorithm> algorithm;
    if (method == "svm")
        algorithm = svmAlgorithm(o);
    else if (method == "bpnn")
        algorithm = bpAlgorithm(o);
    else if (const auto rule = ruleMethods().find(method); rule != ruleMethods().end())
        algorithm = ruleAlgorithm(rule->second, o);
    else
        throw UsageError("--method: unknown method '" + method +
                         "' (mindist, maxlik, mahalanobis, sam, parallelepiped, svm or bpnn)");
    RunAlgorithm(*algorithm, o.Flag("quiet"));
    context.out << "classify (" << method << "): wrote " << o.Positional(2) << " and its .acf";
    if (auto* svm = dynamic_cast<CSvmClassifyProcessAlg*>(algorithm.get()); svm && !o.Has("model"))
        context.out << "; model " << CommonFun::U2M(svm->Param().m_modelFilePath);
    context.out << "\n";
    return kExitOk;
}

} // namespace

Subcommand ClassifySubcommand() { return {classifyDef(), runClassify}; }
