#include "processing/mlp.h"

#include "base/commonfun.h"
#include "engine/formatio.h"
#include "processing/blockprocessor.h"
#include "processing/bpnnmodelfile.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

namespace tessera {

namespace {

constexpr int kChunkPixels = 1024;
constexpr std::uint32_t kSeed = 20261206;
constexpr std::size_t kMaxModelBytes = std::size_t(1) << 31; // read whole: 2 GiB

// Uniform in [-1, 1) from the generator's raw output, so the weights are
// the same with every standard library.
double symmetricUnit(std::mt19937& random) {
    return (random() >> 8) * (2.0 / 16777216.0) - 1.0;
}

} // namespace

int MultiLayerPerceptron::HiddenSize(int bands, int classes) {
    return std::max(8, 2 * (bands + classes));
}

void MultiLayerPerceptron::forward(const double* x, double* hidden, double* output) const {
    for (int h = 0; h < m_hidden; ++h) {
        const double* w = m_w1.data() + static_cast<size_t>(h) * m_bands;
        double z = m_b1[h];
        for (int b = 0; b < m_bands; ++b)
            z += w[b] * x[b];
        hidden[h] = std::tanh(z);
    }
    double largest = -INFINITY;
    for (int c = 0; c < m_classes; ++c) {
        const double* w = m_w2.data() + static_cast<size_t>(c) * m_hidden;
        double z = m_b2[c];
        for (int h = 0; h < m_hidden; ++h)
            z += w[h] * hidden[h];
        output[c] = z;
        largest = std::max(largest, z);
    }
    double sum = 0;
    for (int c = 0; c < m_classes; ++c)
        sum += output[c] = std::exp(output[c] - largest);
    for (int c = 0; c < m_classes; ++c)
        output[c] /= sum;
}

bool MultiLayerPerceptron::Train(const TrainingSet& set, double learningRate, double maxError,
                                 std::uint64_t maxIterations, const ProgressFn& progress, Training& result) {
    m_bands = set.bands;
    m_classes = set.classes;
    m_hidden = HiddenSize(m_bands, m_classes);
    m_scaling = FeatureScaling::Standardise(set);
    std::mt19937 random(kSeed);
    // Glorot-uniform start.
    auto init = [&](std::vector<double>& w, int in, int out) {
        const double limit = std::sqrt(6.0 / (in + out));
        w.resize(static_cast<size_t>(in) * out);
        for (double& v : w)
            v = limit * symmetricUnit(random);
    };
    init(m_w1, m_bands, m_hidden);
    init(m_w2, m_hidden, m_classes);
    m_b1.assign(m_hidden, 0.0);
    m_b2.assign(m_classes, 0.0);

    const std::size_t n = set.Size();
    std::vector<double> scaled(n * m_bands);
    for (std::size_t i = 0; i < n; ++i)
        m_scaling.Apply(set.Row(i), scaled.data() + i * m_bands);
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::vector<double> hidden(m_hidden), output(m_classes), deltaHidden(m_hidden), deltaOut(m_classes);
    std::vector<double*> weights;
    for (std::vector<double>* layer : {&m_w1, &m_b1, &m_w2, &m_b2})
        for (double& w : *layer)
            weights.push_back(&w);
    std::vector<double> sums(weights.size(), 0.0);

    result = Training{};
    double epochError = 0;
    std::size_t epochCount = 0, position = n;
    while (result.iterations < maxIterations && n > 0) {
        if (position == n) { // a new epoch in a new order
            for (std::size_t i = n - 1; i > 0; --i)
                std::swap(order[i], order[random() % (i + 1)]);
            position = 0;
        }
        const std::size_t i = order[position++];
        const double* x = scaled.data() + i * m_bands;
        forward(x, hidden.data(), output.data());
        // Softmax with cross-entropy: the output delta is output - target.
        double error = 0;
        for (int c = 0; c < m_classes; ++c) {
            deltaOut[c] = output[c] - (c == set.labels[i] ? 1.0 : 0.0);
            error += deltaOut[c] * deltaOut[c];
        }
        epochError += error / m_classes;
        ++epochCount;
        for (int h = 0; h < m_hidden; ++h) {
            double back = 0;
            for (int c = 0; c < m_classes; ++c)
                back += m_w2[static_cast<size_t>(c) * m_hidden + h] * deltaOut[c];
            deltaHidden[h] = back * (1.0 - hidden[h] * hidden[h]);
        }
        for (int c = 0; c < m_classes; ++c) {
            double* w = m_w2.data() + static_cast<size_t>(c) * m_hidden;
            for (int h = 0; h < m_hidden; ++h)
                w[h] -= learningRate * deltaOut[c] * hidden[h];
            m_b2[c] -= learningRate * deltaOut[c];
        }
        for (int h = 0; h < m_hidden; ++h) {
            double* w = m_w1.data() + static_cast<size_t>(h) * m_bands;
            for (int b = 0; b < m_bands; ++b)
                w[b] -= learningRate * deltaHidden[h] * x[b];
            m_b1[h] -= learningRate * deltaHidden[h];
        }
        ++result.iterations;
        // The network kept is the mean of the weights over the last epoch:
        // the last step alone carries the noise of its one pixel.
        for (std::size_t k = 0; k < weights.size(); ++k)
            sums[k] += *weights[k];
        if (position == n || result.iterations == maxIterations) {
            result.error = epochError / static_cast<double>(epochCount);
            const bool last = result.error <= maxError || result.iterations == maxIterations;
            if (last)
                for (std::size_t k = 0; k < weights.size(); ++k)
                    *weights[k] = sums[k] / static_cast<double>(epochCount);
            std::fill(sums.begin(), sums.end(), 0.0);
            epochError = 0;
            epochCount = 0;
            if (result.error <= maxError) {
                result.converged = true;
                break;
            }
            if (progress &&
                !progress(static_cast<double>(result.iterations) / static_cast<double>(maxIterations)))
                return false;
        }
    }
    prepareSinglePrecision();
    return true;
}

void MultiLayerPerceptron::prepareSinglePrecision() {
    m_w1f.resize(m_bands, m_hidden);
    for (int h = 0; h < m_hidden; ++h)
        for (int b = 0; b < m_bands; ++b)
            m_w1f(b, h) = static_cast<float>(m_w1[static_cast<size_t>(h) * m_bands + b]);
    m_w2f.resize(m_hidden, m_classes);
    for (int c = 0; c < m_classes; ++c)
        for (int h = 0; h < m_hidden; ++h)
            m_w2f(h, c) = static_cast<float>(m_w2[static_cast<size_t>(c) * m_hidden + h]);
    m_b1f = Eigen::Map<const Eigen::RowVectorXd>(m_b1.data(), m_hidden).cast<float>();
    m_b2f = Eigen::Map<const Eigen::RowVectorXd>(m_b2.data(), m_classes).cast<float>();
    m_offsetf = Eigen::Map<const Eigen::RowVectorXd>(m_scaling.offset.data(), m_bands).cast<float>();
    m_factorf = Eigen::Map<const Eigen::RowVectorXd>(m_scaling.factor.data(), m_bands).cast<float>();
}

bool MultiLayerPerceptron::Save(const std::wstring& path, std::wstring& error) const {
    const std::string text = FormatBpnnModelText(
        {m_bands, m_classes, m_hidden, m_scaling.offset, m_scaling.factor, m_w1, m_b1, m_w2, m_b2});
    std::string message;
    if (!formatio::ReplaceFile(CommonFun::U2M(path), text, message)) {
        error = L"Cannot write the BP network model " + path + L": " + CommonFun::M2U(message) + L".";
        return false;
    }
    return true;
}

bool MultiLayerPerceptron::Load(const std::wstring& path, std::wstring& error) {
    std::string text, message;
    if (!formatio::ReadWholeFile(CommonFun::U2M(path), kMaxModelBytes, text, message)) {
        error = L"Cannot open the BP network model " + path + L": " + CommonFun::M2U(message) + L".";
        return false;
    }
    BpnnModelText model;
    if (!ParseBpnnModelText(text, model, message)) {
        error = L"The BP network model " + path + L" is not valid: " + CommonFun::M2U(message) + L".";
        return false;
    }
    m_bands = model.bands;
    m_classes = model.classes;
    m_hidden = model.hidden;
    m_scaling.offset = std::move(model.offset);
    m_scaling.factor = std::move(model.factor);
    m_w1 = std::move(model.w1);
    m_b1 = std::move(model.b1);
    m_w2 = std::move(model.w2);
    m_b2 = std::move(model.b2);
    prepareSinglePrecision();
    return true;
}

void MultiLayerPerceptron::Predict(const float* pixels, int count, const std::uint8_t* valid,
                                   std::uint16_t* labels, Workspace& work, float* probability) const {
    ForEachValidChunk(count, valid, kChunkPixels, [&](const std::vector<int>& index, int m) {
        work.x.resize(m, m_bands);
        for (int r = 0; r < m; ++r)
            work.x.row(r) = Eigen::Map<const Eigen::RowVectorXf>(
                pixels + static_cast<size_t>(index[r]) * m_bands, m_bands);
        work.x = ((work.x.rowwise() - m_offsetf).array().rowwise() * m_factorf.array()).matrix();
        work.hidden.noalias() = work.x * m_w1f;
        work.hidden = (work.hidden.rowwise() + m_b1f).array().tanh().matrix();
        work.output.noalias() = work.hidden * m_w2f;
        work.output.rowwise() += m_b2f;
        // The softmax keeps the order of the activations: the largest wins.
        for (int r = 0; r < m; ++r) {
            Eigen::Index best = 0;
            const float largest = work.output.row(r).maxCoeff(&best);
            labels[index[r]] = static_cast<std::uint16_t>(best + 1);
            if (probability)
                probability[index[r]] = 1.0f / (work.output.row(r).array() - largest).exp().sum();
        }
    });
}

std::vector<double> MultiLayerPerceptron::Outputs(const float* pixel) const {
    std::vector<double> x(m_bands), hidden(m_hidden), output(m_classes);
    m_scaling.Apply(pixel, x.data());
    forward(x.data(), hidden.data(), output.data());
    return output;
}

} // namespace tessera
