#include "processing/classifiers.h"

#include "processing/bpnnclassify.h"
#include "processing/rfclassify.h"
#include "processing/signatures.h"
#include "processing/supervised.h"
#include "processing/svmclassify.h"

namespace tessera {

namespace {

// The method's record: the common fields, the sample file and every
// declared parameter.
template <class Record> Record recordOf(const ParamTable<Record>& table, const ClassifierInputs& in) {
    Record record;
    static_cast<AlgorithmParam&>(record) = in.base;
    record.m_sampleFilePath = in.samplePath;
    for (const ParamInfo& param : table.Infos()) {
        const auto given = in.values.find(param.name);
        table.Set(record, param.name, given != in.values.end() ? given->second : param.defaultValue);
    }
    return record;
}

// The algorithm with the inputs' extra outputs.
template <class Algorithm>
std::unique_ptr<CBaseAlgorithm> withExtras(std::unique_ptr<Algorithm> algorithm, const ClassifierInputs& in) {
    algorithm->SetExtras(in.extras);
    return algorithm;
}

ClassifierMethod ruleMethod(const DecisionRuleKind& rule) {
    return {rule.method,
            std::string(rule.title) + " decision rule on the samples' statistics",
            "",
            RuleParameters(rule).Infos(),
            nullptr,
            [&rule](const ClassifierInputs& in) -> std::unique_ptr<CBaseAlgorithm> {
                CSuperviseCommonParam record;
                static_cast<CSuperviseParam&>(record) = recordOf(RuleParameters(rule), in);
                return withExtras(std::make_unique<CSupervisedClassify>(rule.kind, record), in);
            }};
}

// A learner that saves its model beside the output, or classifies with the
// one the inputs name.
template <class Algorithm, class Record>
ClassifierMethod savedModelMethod(std::string name, std::string summary, std::string extension,
                                  const ParamTable<Record>& table,
                                  std::wstring (*modelPath)(const std::wstring& outputPath)) {
    return {std::move(name),
            std::move(summary),
            std::move(extension),
            table.Infos(),
            modelPath,
            [&table, modelPath](const ClassifierInputs& in) -> std::unique_ptr<CBaseAlgorithm> {
                Record record = recordOf(table, in);
                record.m_modelFilePath = in.modelPath.empty() ? modelPath(record.m_outputPath) : in.modelPath;
                if constexpr (requires { record.m_seed; })
                    record.m_seed = in.extras.seed;
                auto algorithm = std::make_unique<Algorithm>(&record);
                algorithm->ReuseModel(!in.modelPath.empty());
                return withExtras(std::move(algorithm), in);
            }};
}

} // namespace

const std::vector<ClassifierMethod>& ClassifierMethods() {
    static const std::vector<ClassifierMethod> methods = [] {
        std::vector<ClassifierMethod> all;
        for (const DecisionRuleKind& rule : DecisionRules())
            all.push_back(ruleMethod(rule));
        all.push_back(savedModelMethod<CSvmClassifyProcessAlg>(
            "svm", "support vector machine (libsvm C-SVC) trained on the pixels under the samples", ".svm",
            SvmClassifyParameters(), SvmModelFilePath));
        all.push_back(savedModelMethod<CBPNNClassify>(
            "bpnn", "back-propagation neural network trained on the pixels under the samples", ".bpnn",
            BPNNParameters(), BPNNModelFilePath));
        all.push_back(savedModelMethod<CRandomForestClassify>(
            "rf", "random forest (OpenCV RTrees) grown on the pixels under the samples", ".rf",
            RandomForestParameters(), ForestModelFilePath));
        return all;
    }();
    return methods;
}

const ClassifierMethod* FindClassifierMethod(const std::string& name) {
    for (const ClassifierMethod& m : ClassifierMethods())
        if (m.name == name)
            return &m;
    return nullptr;
}

} // namespace tessera
