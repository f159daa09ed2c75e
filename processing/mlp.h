#pragma once
// A multi-layer perceptron with one hidden layer (tanh) and a softmax
// output layer, trained by stochastic back-propagation of the cross-entropy
// on standardised bands, one training pixel per iteration; the network kept
// is the mean of the weights over the last epoch.

#include "processing/basealgorithm.h"
#include "processing/learnedclassify.h"

#include <Eigen/Dense>

#include <cstdint>
#include <string>
#include <vector>

namespace tessera {

class MultiLayerPerceptron {
public:
    struct Training {
        double error = 0;             // mean squared output error of the last epoch
        std::uint64_t iterations = 0; // training pixels presented
        bool converged = false;       // the error fell to the maximum error
    };

    // Hidden neurons for a problem: twice the inputs and outputs, at least 8.
    static int HiddenSize(int bands, int classes);

    // Trains from a deterministic start. Pixels are presented in a new
    // shuffled order each epoch; after each epoch (or at the last iteration)
    // the mean over its pixels of the squared error of the outputs against
    // the one-hot target, averaged over the outputs, is compared with
    // maxError. False when progress asked to stop.
    bool Train(const TrainingSet& set, double learningRate, double maxError, std::uint64_t maxIterations,
               const ProgressFn& progress, Training& result);

    // The model file (docs/formats.md), written whole through a temporary
    // file and a rename.
    bool Save(const std::wstring& path, std::wstring& error) const;
    // Replaces the network with the one saved at path; false with a one-line
    // message naming the file (the network is then left as it was).
    bool Load(const std::wstring& path, std::wstring& error);

    int Bands() const { return m_bands; }
    int Classes() const { return m_classes; }
    int Hidden() const { return m_hidden; }

    struct Workspace {
        Eigen::MatrixXf x, hidden, output;
    };
    // Labels 1..Classes() of count pixels (raw values, pixel-interleaved);
    // pixels whose valid entry is 0 are skipped (valid may be null).
    // With probability, also the softmax output of each label.
    void Predict(const float* pixels, int count, const std::uint8_t* valid, std::uint16_t* labels,
                 Workspace& work, float* probability = nullptr) const;
    // The output activations of one pixel, computed in double precision.
    std::vector<double> Outputs(const float* pixel) const;

private:
    void forward(const double* x, double* hidden, double* output) const;
    void prepareSinglePrecision();

    int m_bands = 0, m_classes = 0, m_hidden = 0;
    FeatureScaling m_scaling;
    // Weights: input→hidden (hidden × bands), hidden→output (classes × hidden), row-major.
    std::vector<double> m_w1, m_b1, m_w2, m_b2;
    Eigen::MatrixXf m_w1f, m_w2f; // bands × hidden, hidden × classes
    Eigen::RowVectorXf m_b1f, m_b2f;
    Eigen::RowVectorXf m_offsetf, m_factorf;
};

} // namespace tessera
