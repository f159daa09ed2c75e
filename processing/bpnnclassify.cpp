#include "processing/bpnnclassify.h"

#include "processing/blockprocessor.h"

#include <sstream>

CBPNNClassify::CBPNNClassify(const AlgorithmParam* param)
    : CLearnedClassify(CopyRecordAs<CSuperviseBPNNParam>(param)) {
    if (m_param->m_algorithmName.empty())
        m_param->m_algorithmName = L"BP neural network classification";
}

CBPNNClassify::~CBPNNClassify() = default;

bool CBPNNClassify::CheckParameters() {
    const CSuperviseBPNNParam& p = Param();
    if (!(p.m_learningRate > 0))
        return Fail(L"The learning rate must be greater than 0.");
    if (!(p.m_maxError >= 0))
        return Fail(L"The maximum error must not be negative.");
    if (p.m_maxIterations == 0)
        return Fail(L"The maximum number of iterations must be at least 1.");
    return true;
}

bool CBPNNClassify::Train(const TrainingSet& set, int, const ProgressFn& progress) {
    const CSuperviseBPNNParam& p = Param();
    ReportStep(L"Training the network");
    if (!m_network.Train(set, p.m_learningRate, p.m_maxError, p.m_maxIterations, progress, m_training))
        return false; // cancelled
    return true;
}

void CBPNNClassify::PrepareWorkers(int workers) { m_work.resize(static_cast<size_t>(workers)); }

void CBPNNClassify::PredictBlock(const PixelBlock& block, std::uint16_t* labels, int worker) {
    m_network.Predict(block.values, block.PixelCount(), block.valid, labels, m_work[worker]);
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
