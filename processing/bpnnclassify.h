#pragma once
// Back-propagation neural network classification: a multi-layer perceptron
// with one hidden layer, trained by stochastic back-propagation on the
// training pixels of a sample file, then applied block by block. The trained
// network is written to the record's model path when it names one.

#include "processing/learnedclassify.h"
#include "processing/mlp.h"
#include "processing/paramdecl.h"
#include "processing/supervised.h"

#include <memory>

class CSuperviseBPNNParam : public CSuperviseParam {
public:
    std::unique_ptr<AlgorithmParam> Clone() const override {
        return std::make_unique<CSuperviseBPNNParam>(*this);
    }

    double m_learningRate = 0.01;
    double m_maxError = 0.001;
    std::uint32_t m_maxIterations = 100000;
    // Written after training when set (the window leaves it empty), or read
    // instead of training (see ReuseModel).
    std::wstring m_modelFilePath;
};

const tessera::ParamTable<CSuperviseBPNNParam>& BPNNParameters();

// Where the trained network goes: beside the output raster, named as the
// output without its extension, with ".bpnn".
std::wstring BPNNModelFilePath(const std::wstring& outputPath);

class CBPNNClassify : public tessera::CLearnedClassify {
public:
    explicit CBPNNClassify(const AlgorithmParam* param);
    ~CBPNNClassify() override;

    const CSuperviseBPNNParam& Param() const { return static_cast<const CSuperviseBPNNParam&>(*m_param); }

protected:
    std::wstring SampleFilePath() const override { return Param().m_sampleFilePath; }
    bool CheckParameters() override;
    bool Train(const tessera::TrainingSet& set, int classes, const ProgressFn& progress) override;
    void PrepareWorkers(int workers) override;
    void PredictBlock(const tessera::PixelBlock& block, std::uint16_t* labels, float* confidence,
                      int worker) override;
    std::map<std::string, std::string> Metadata() const override;

private:
    tessera::MultiLayerPerceptron m_network;
    tessera::MultiLayerPerceptron::Training m_training;
    std::vector<tessera::MultiLayerPerceptron::Workspace> m_work; // one per worker thread
};
