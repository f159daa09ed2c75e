#include "processing/classifiers.h"

#include "processing/bpnnclassify.h"
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

ClassifierMethod ruleMethod(const DecisionRuleKind& rule) {
    return {rule.method, std::string(rule.title) + " decision rule on the samples' statistics",
            RuleParameters(rule).Infos(), nullptr,
            [&rule](const ClassifierInputs& in) -> std::unique_ptr<CBaseAlgorithm> {
                CSuperviseCommonParam record;
                static_cast<CSuperviseParam&>(record) = recordOf(RuleParameters(rule), in);
                return std::make_unique<CSupervisedClassify>(rule.kind, record);
            }};
}

ClassifierMethod svmMethod() {
    return {"svm", "support vector machine (libsvm C-SVC) trained on the pixels under the samples",
            SvmClassifyParameters().Infos(), SvmModelFilePath,
            [](const ClassifierInputs& in) -> std::unique_ptr<CBaseAlgorithm> {
                CSvmClassifyParam record = recordOf(SvmClassifyParameters(), in);
                record.m_modelFilePath =
                    in.modelPath.empty() ? SvmModelFilePath(record.m_outputPath) : in.modelPath;
                auto algorithm = std::make_unique<CSvmClassifyProcessAlg>(&record);
                algorithm->ReuseModel(!in.modelPath.empty());
                return algorithm;
            }};
}

ClassifierMethod bpnnMethod() {
    return {"bpnn", "back-propagation neural network trained on the pixels under the samples",
            BPNNParameters().Infos(), nullptr,
            [](const ClassifierInputs& in) -> std::unique_ptr<CBaseAlgorithm> {
                const CSuperviseBPNNParam record = recordOf(BPNNParameters(), in);
                return std::make_unique<CBPNNClassify>(&record);
            }};
}

} // namespace

const std::vector<ClassifierMethod>& ClassifierMethods() {
    static const std::vector<ClassifierMethod> methods = [] {
        std::vector<ClassifierMethod> all;
        for (const DecisionRuleKind& rule : DecisionRules())
            all.push_back(ruleMethod(rule));
        all.push_back(svmMethod());
        all.push_back(bpnnMethod());
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
