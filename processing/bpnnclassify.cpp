#include "processing/bpnnclassify.h"

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
    return CheckDeclared(BPNNParameters().Validate(Param()));
}

bool CBPNNClassify::Train(const TrainingSet& set, int, const ProgressFn& progress) {
    const CSuperviseBPNNParam& p = Param();
    ReportStep(L"Training the network");
    if (!m_network.Train(set, p.m_learningRate, p.m_maxError, p.m_maxIterations, progress, m_training))
        return false; // cancelled
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
    std::ostringstream rate, maxError, error;
    rate << p.m_learningRate;
    maxError << p.m_maxError;
    error << m_training.error;
    return {{"ALGORITHM", "BP neural network"},
            {"HIDDEN_NEURONS", std::to_string(m_network.Hidden())},
            {"LEARNING_RATE", rate.str()},
            {"MAX_ERROR", maxError.str()},
            {"ITERATIONS", std::to_string(m_training.iterations)},
            {"TRAINING_ERROR", error.str()},
            {"CONVERGED", m_training.converged ? "yes" : "no"}};
}
