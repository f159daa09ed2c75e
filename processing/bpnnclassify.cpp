#include "processing/bpnnclassify.h"

#include "base/commonfun.h"
#include "processing/blockprocessor.h"

#include <sstream>

using namespace tessera;

CBPNNClassify::CBPNNClassify(const AlgorithmParam* param)
    : CLearnedClassify(CopyRecordAs<CSuperviseBPNNParam>(param)) {
    if (m_param->m_algorithmName.empty())
        m_param->m_algorithmName = L"BP neural network classification";
}

CBPNNClassify::~CBPNNClassify() = default;

const ParamTable<CSuperviseBPNNParam>& BPNNParameters() {
    using R = CSuperviseBPNNParam;
    static const ParamTable<R> table =
        ParamTable<R>()
            .Add("rate", &R::m_learningRate, "R", "learning rate")
            .Range(0.01, 1)
            .Add("max-error", &R::m_maxError, "E", "stop when the training error falls to E")
            .Range(0, 1)
            .Add("iterations", &R::m_maxIterations, "N", "most training pixels presented")
            .Range(1, 4294967295.0);
    return table;
}

bool CBPNNClassify::CheckParameters() {
    if (!CheckDeclared(BPNNParameters().Validate(Param())))
        return false;
    if (m_reuseModel && Param().m_modelFilePath.empty())
        return Fail(L"No model file path was given.");
    return true;
}

bool CBPNNClassify::Train(const TrainingSet& set, int classes, const ProgressFn& progress) {
    const CSuperviseBPNNParam& p = Param();
    std::wstring error;
    if (m_reuseModel) {
        ReportStep(L"Reading the BP network model");
        if (!m_network.Load(p.m_modelFilePath, error))
            return Fail(error);
        return CheckLoadedModel(L"BP network model", p.m_modelFilePath, m_network.Bands(),
                                m_network.Classes(), set.bands, classes);
    }
    ReportStep(L"Training the network");
    if (!m_network.Train(set, p.m_learningRate, p.m_maxError, p.m_maxIterations, progress, m_training))
        return false; // cancelled
    if (!p.m_modelFilePath.empty() && !m_network.Save(p.m_modelFilePath, error))
        return Fail(error);
    return true;
}

void CBPNNClassify::PrepareWorkers(int workers) {
    m_work.resize(static_cast<size_t>(workers));
}

void CBPNNClassify::PredictBlock(const PixelBlock& block, std::uint16_t* labels, float* confidence,
                                 int worker) {
    m_network.Predict(block.values, block.PixelCount(), block.valid, labels, m_work[worker], confidence);
}

std::map<std::string, std::string> CBPNNClassify::Metadata() const {
    const CSuperviseBPNNParam& p = Param();
    std::map<std::string, std::string> items = {{"ALGORITHM", "BP neural network"},
                                                {"HIDDEN_NEURONS", std::to_string(m_network.Hidden())}};
    if (!p.m_modelFilePath.empty())
        items["MODEL"] = CommonFun::U2M(p.m_modelFilePath);
    if (m_reuseModel) // no training in this run
        return items;
    std::ostringstream rate, maxError, error;
    rate << p.m_learningRate;
    maxError << p.m_maxError;
    error << m_training.error;
    items.insert({{"LEARNING_RATE", rate.str()},
                  {"MAX_ERROR", maxError.str()},
                  {"ITERATIONS", std::to_string(m_training.iterations)},
                  {"TRAINING_ERROR", error.str()},
                  {"CONVERGED", m_training.converged ? "yes" : "no"}});
    return items;
}

std::wstring BPNNModelFilePath(const std::wstring& outputPath) {
    return ModelPathBesideOutput(outputPath, L".bpnn");
}
