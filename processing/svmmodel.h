#pragma once
// A trained C-SVC model on libsvm with the per-band scaling it was trained
// on, and a batched predictor that gives libsvm's labels: the kernel of a
// chunk of pixels against every support vector is one matrix product, the
// one-against-one decision values another, then libsvm's vote.

#include "processing/learnedclassify.h"

#include <Eigen/Dense>

#include <cstdint>
#include <memory>
#include <string>

struct svm_model;
struct svm_node;

namespace tessera {

struct SvmParameters {
    int kernel = 0; // SvmKernelType
    double coef0 = 1.0;
    double gamma = 0.143;
    int degree = 2;
    double cost = 1.0;          // C of C-SVC
    bool standardise = true;    // else the bands are taken as they are (an identity scaling)
    bool probabilities = false; // fit libsvm's probability model too (five inner trainings)
};

class SvmModel {
public:
    ~SvmModel();
    SvmModel(const SvmModel&) = delete;
    SvmModel& operator=(const SvmModel&) = delete;

    // Trains on the set (class c of the set becomes libsvm label c + 1).
    static std::unique_ptr<SvmModel> Train(const TrainingSet& set, const SvmParameters& parameters,
                                           std::wstring& error);
    // libsvm's model text followed by the scaling (docs/formats.md), through
    // a temporary file and a rename.
    bool Save(const std::wstring& path, std::wstring& error) const;
    static std::unique_ptr<SvmModel> Load(const std::wstring& path, std::wstring& error);

    int Bands() const { return m_scaling.Bands(); }
    int ClassCount() const;
    int SupportVectorCount() const;
    int Kernel() const;
    double Gamma() const;
    // Whether the model carries libsvm's probability model.
    bool HasProbabilities() const;
    // libsvm's probability estimate of the label (1..) for one pixel of raw values.
    double Probability(const float* pixel, int label) const;
    // The largest class label (sample number) the model can give.
    int MaxLabel() const;

    // Reusable buffers of one thread.
    struct Workspace {
        Eigen::MatrixXd x, kernel, decision;
        Eigen::MatrixXf kernelF, partial, xByBand;
        std::vector<float> column;
        Eigen::MatrixXi voteCount;
        std::vector<int> wins, best, bestVotes;
    };
    // Labels of count pixels (count × Bands() raw values, pixel-interleaved);
    // pixels whose valid entry is 0 are skipped (valid may be null).
    void Predict(const float* pixels, int count, const std::uint8_t* valid, std::uint16_t* labels,
                 Workspace& work) const;
    // One pixel through libsvm's own svm_predict: the reference the batched
    // predictor must agree with.
    int PredictWithLibsvm(const float* pixel) const;

private:
    SvmModel();
    void prepare(); // the dense matrices of the batched predictor
    // The polynomial or sigmoid kernel of the chunk in work.x against every
    // support vector into work.kernelF.
    void polynomialOrSigmoidKernel(Workspace& work, int m) const;

    svm_model* m_model = nullptr;
    std::vector<svm_node> m_nodes; // the training pixels a trained model points into
    FeatureScaling m_scaling;
    // Support vectors (l × bands), the coefficients
    // (l × classes-1), the class offsets into the support vectors; for the
    // linear kernel the pairwise weight vectors (bands × pairs) instead.
    Eigen::MatrixXd m_supportVectors, m_coefficients, m_linearWeights;
    Eigen::MatrixXf m_coefficientsF, m_supportVectorsF; // the latter bands × l: vector j at column j
    Eigen::VectorXd m_rho;
    std::vector<int> m_start, m_count;
    // For the RBF pass: coefficients l × (classes-1) row-major, each vector's class.
    std::vector<float> m_coefficientsByVector;
    std::vector<int> m_classOf;
};

} // namespace tessera
