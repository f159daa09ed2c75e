#include "processing/signatures.h"

#include "engine/classifysamplefile.h"
#include "base/commonfun.h"
#include "processing/bandcount.h"
#include "processing/blockprocessor.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <limits>

bool ReadSignatures(const std::wstring& path, int bands, std::vector<ClassSignature>& out, std::wstring& error) {
    out.clear();
    if (path.empty()) {
        error = L"No sample file was given.";
        return false;
    }
    CClassifySampleFile file;
    if (!file.ReadClassifySampleFile(path)) {
        error = L"Cannot read the sample file " + path + L": " + CommonFun::M2U(file.GetLastError());
        return false;
    }
    if (file.m_samples.empty()) {
        error = L"The sample file " + path + L" holds no sample.";
        return false;
    }
    for (const ClassifySample* s : file.m_samples) {
        const size_t n = static_cast<size_t>(bands);
        if (s->m_bandCount != bands || s->m_mean.size() != n || s->m_min.size() != n || s->m_max.size() != n ||
            s->m_covariance.size() != n * n) {
            error = L"The sample file " + path + L" has " + std::to_wstring(s->m_bandCount) + L" bands in sample \"" +
                    s->GetName() + L"\", the image has " + std::to_wstring(bands) + L".";
            out.clear();
            return false;
        }
        out.push_back({s->GetName(), s->m_colour, s->m_pixelCount, s->m_mean, s->m_min, s->m_max, s->m_covariance});
    }
    return true;
}

bool DecisionRule::Prepare(SuperviseClassifyType kind, const std::vector<ClassSignature>& classes, double threshold,
                           std::wstring& error) {
    m_kind = kind;
    m_classes = static_cast<int>(classes.size());
    m_bands = classes.empty() ? 0 : static_cast<int>(classes[0].mean.size());
    m_threshold = threshold;
    const int k = m_bands;
    m_mean.clear();
    for (const ClassSignature& c : classes)
        m_mean.insert(m_mean.end(), c.mean.begin(), c.mean.end());

    switch (kind) {
    case SUPERVISE_MINIMUM_DISTANCE:
        return true;
    case SUPERVISE_SPECTRAL_ANGLE:
        m_meanNorm.clear();
        for (const ClassSignature& c : classes) {
            double n = 0;
            for (double v : c.mean)
                n += v * v;
            m_meanNorm.push_back(std::sqrt(n));
        }
        return true;
    case SUPERVISE_PARALLELEPIPED:
        m_low.clear();
        m_high.clear();
        for (const ClassSignature& c : classes)
            for (int b = 0; b < k; ++b) {
                if (threshold > 0) {
                    const double sd = std::sqrt(std::max(0.0, c.covariance[static_cast<size_t>(b) * k + b]));
                    m_low.push_back(c.mean[b] - threshold * sd);
                    m_high.push_back(c.mean[b] + threshold * sd);
                } else {
                    m_low.push_back(c.minimum[b]);
                    m_high.push_back(c.maximum[b]);
                }
            }
        return true;
    case SUPERVISE_MAXIMUM_LIKELIHOOD:
    case SUPERVISE_MAHALANOBIS: {
        m_inverse.clear();
        m_logDet.clear();
        m_ridge.clear();
        for (const ClassSignature& c : classes) {
            Eigen::MatrixXd sigma(k, k);
            for (int i = 0; i < k; ++i)
                for (int j = 0; j < k; ++j)
                    sigma(i, j) = 0.5 * (c.covariance[static_cast<size_t>(i) * k + j] +
                                         c.covariance[static_cast<size_t>(j) * k + i]);
            // A covariance that is singular (too few pixels, a constant band)
            // gets a ridge on its diagonal, growing until it is well
            // conditioned; the ridge starts at a millionth of the mean variance.
            const double scale = std::max(sigma.diagonal().mean(), 1e-12);
            double ridge = 0;
            Eigen::LLT<Eigen::MatrixXd> llt;
            for (int attempt = 0; attempt < 12; ++attempt) {
                const Eigen::MatrixXd s = sigma + ridge * Eigen::MatrixXd::Identity(k, k);
                Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eigen(s, Eigen::EigenvaluesOnly);
                const double lo = eigen.eigenvalues().minCoeff(), hi = eigen.eigenvalues().maxCoeff();
                if (lo > 1e-10 * std::max(hi, 1e-300)) {
                    llt.compute(s);
                    if (llt.info() == Eigen::Success)
                        break;
                }
                ridge = ridge == 0 ? 1e-6 * scale : ridge * 10;
            }
            if (llt.info() != Eigen::Success || llt.rows() != k) {
                error = L"The covariance of class \"" + c.name + L"\" cannot be inverted, even regularised.";
                return false;
            }
            m_ridge.push_back(ridge);
            const Eigen::MatrixXd inverse = llt.solve(Eigen::MatrixXd::Identity(k, k));
            for (int i = 0; i < k; ++i)
                for (int j = 0; j < k; ++j)
                    m_inverse.push_back(inverse(i, j));
            const Eigen::MatrixXd L = llt.matrixL();
            m_logDet.push_back(2.0 * L.diagonal().array().log().sum());
        }
        return true;
    }
    }
    error = L"Unknown classifier kind " + std::to_wstring(static_cast<int>(kind)) + L".";
    return false;
}

namespace {

constexpr int kChunkPixels = 1024;

// The per-class passes over a chunk of m pixels held band by band
// (x[b * m + r]), each a loop over the pixels the compiler vectorises; built
// for x86-64-v3 (AVX2) too, the loader picking what the processor runs.
#define TESSERA_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))

// out[r] = |x_r - mean|²
TESSERA_VECTOR_CLONES void squaredDistances(const double* x, int m, int bands, const double* mean, double* out) {
    for (int r = 0; r < m; ++r)
        out[r] = 0;
    for (int b = 0; b < bands; ++b)
        for (int r = 0; r < m; ++r) {
            const double t = x[b * m + r] - mean[b];
            out[r] += t * t;
        }
}

// out[r] = (x_r - mean)ᵀ inverse (x_r - mean). With the band count known at
// compile time the whole form stays in registers for each pixel; otherwise
// term by term through centred (bands × m scratch).
template <int Bands>
[[gnu::always_inline]] inline void mahalanobisPass(const double* __restrict x, int m, int bands, const double* mean,
                                                   const double* inverse, double* __restrict centred,
                                                   double* __restrict out) {
    if constexpr (Bands > 0) {
        for (int r = 0; r < m; ++r) {
            double c[Bands];
            for (int b = 0; b < Bands; ++b)
                c[b] = x[b * m + r] - mean[b];
            double sum = 0;
            for (int i = 0; i < Bands; ++i) {
                double row = 0;
                for (int j = 0; j < Bands; ++j)
                    row += inverse[i * Bands + j] * c[j];
                sum += c[i] * row;
            }
            out[r] = sum;
        }
    } else {
        for (int b = 0; b < bands; ++b)
            for (int r = 0; r < m; ++r)
                centred[b * m + r] = x[b * m + r] - mean[b];
        for (int r = 0; r < m; ++r)
            out[r] = 0;
        for (int i = 0; i < bands; ++i)
            for (int j = 0; j < bands; ++j) {
                const double w = inverse[i * bands + j];
                for (int r = 0; r < m; ++r)
                    out[r] += centred[i * m + r] * w * centred[j * m + r];
            }
    }
}

TESSERA_VECTOR_CLONES void mahalanobisDistances(const double* x, int m, int bands, const double* mean,
                                                const double* inverse, double* centred, double* out) {
    WithBandCount(bands, [&](auto known) __attribute__((always_inline)) {
        mahalanobisPass<decltype(known)::value>(x, m, bands, mean, inverse, centred, out);
    });
}

// Per pixel, the first class of smallest score so far, with its aux value.
TESSERA_VECTOR_CLONES void keepSmallest(int m, int c, const double* score, const double* aux, double* bestScore,
                                        double* bestAux, int* best) {
    for (int r = 0; r < m; ++r) {
        const bool smaller = score[r] < bestScore[r];
        bestScore[r] = smaller ? score[r] : bestScore[r];
        bestAux[r] = smaller ? aux[r] : bestAux[r];
        best[r] = smaller ? c : best[r];
    }
}

// out[r] = x_r · mean
TESSERA_VECTOR_CLONES void dotProducts(const double* x, int m, int bands, const double* mean, double* out) {
    for (int r = 0; r < m; ++r)
        out[r] = 0;
    for (int b = 0; b < bands; ++b)
        for (int r = 0; r < m; ++r)
            out[r] += x[b * m + r] * mean[b];
}

// out[r] = 1 when low[b] <= x_r[b] <= high[b] in every band.
TESSERA_VECTOR_CLONES void insideBox(const double* x, int m, int bands, const double* low, const double* high,
                                     std::uint8_t* out) {
    for (int r = 0; r < m; ++r)
        out[r] = 1;
    for (int b = 0; b < bands; ++b)
        for (int r = 0; r < m; ++r)
            out[r] &= static_cast<std::uint8_t>(x[b * m + r] >= low[b] && x[b * m + r] <= high[b]);
}

#undef TESSERA_VECTOR_CLONES

} // namespace

int DecisionRule::Classify(const float* pixel) const {
    const std::uint8_t valid = 1;
    std::uint16_t label = 0;
    ClassifyBlock(pixel, 1, &valid, &label);
    return label;
}

void DecisionRule::ClassifyBlock(const float* pixels, int count, const std::uint8_t* valid,
                                 std::uint16_t* labels) const {
    const int k = m_bands;
    std::vector<double> x, score, aux, centred, bestScore, bestAux;
    std::vector<std::uint8_t> inside;
    std::vector<int> best;
    ForEachValidChunk(count, valid, kChunkPixels, [&](const std::vector<int>& index, int m) {
        x.resize(static_cast<size_t>(k) * m);
        for (int r = 0; r < m; ++r) {
            const float* pixel = pixels + static_cast<size_t>(index[r]) * k;
            for (int b = 0; b < k; ++b)
                x[static_cast<size_t>(b) * m + r] = pixel[b];
        }
        score.resize(m);
        aux.resize(m);
        bestScore.assign(m, std::numeric_limits<double>::infinity());
        bestAux.assign(m, 0.0);
        best.assign(m, -1);
        const auto keep = [&](int c, const std::vector<double>& value, const std::vector<double>& extra) {
            keepSmallest(m, c, value.data(), extra.data(), bestScore.data(), bestAux.data(), best.data());
        };
        switch (m_kind) {
        case SUPERVISE_MINIMUM_DISTANCE:
            for (int c = 0; c < m_classes; ++c) {
                squaredDistances(x.data(), m, k, m_mean.data() + static_cast<size_t>(c) * k, score.data());
                keep(c, score, score);
            }
            break;
        case SUPERVISE_MAXIMUM_LIKELIHOOD:
        case SUPERVISE_MAHALANOBIS:
            centred.resize(static_cast<size_t>(k) * m);
            for (int c = 0; c < m_classes; ++c) {
                mahalanobisDistances(x.data(), m, k, m_mean.data() + static_cast<size_t>(c) * k,
                                     m_inverse.data() + static_cast<size_t>(c) * k * k, centred.data(), aux.data());
                // Maximum likelihood with equal priors: smallest ln|Σ| + d².
                for (int r = 0; r < m; ++r)
                    score[r] = m_kind == SUPERVISE_MAXIMUM_LIKELIHOOD ? m_logDet[c] + aux[r] : aux[r];
                keep(c, score, aux);
            }
            break;
        case SUPERVISE_SPECTRAL_ANGLE: {
            // The smallest angle is the largest cosine: the angle itself is
            // taken only of the winner. aux holds the pixel norms.
            std::vector<double> norm(m, 0.0);
            for (int b = 0; b < k; ++b)
                for (int r = 0; r < m; ++r)
                    norm[r] += x[static_cast<size_t>(b) * m + r] * x[static_cast<size_t>(b) * m + r];
            for (int r = 0; r < m; ++r)
                norm[r] = std::sqrt(norm[r]);
            for (int c = 0; c < m_classes; ++c) {
                if (m_meanNorm[c] == 0)
                    continue;
                dotProducts(x.data(), m, k, m_mean.data() + static_cast<size_t>(c) * k, score.data());
                for (int r = 0; r < m; ++r)
                    score[r] = norm[r] == 0 ? std::numeric_limits<double>::infinity()
                                            : -std::clamp(score[r] / (norm[r] * m_meanNorm[c]), -1.0, 1.0);
                keep(c, score, score);
            }
            for (int r = 0; r < m; ++r)
                bestAux[r] = best[r] < 0 ? 0 : std::acos(-bestAux[r]);
            break;
        }
        case SUPERVISE_PARALLELEPIPED:
            // Among the boxes holding the pixel, the class with the nearest mean.
            inside.resize(m);
            for (int c = 0; c < m_classes; ++c) {
                insideBox(x.data(), m, k, m_low.data() + static_cast<size_t>(c) * k,
                          m_high.data() + static_cast<size_t>(c) * k, inside.data());
                squaredDistances(x.data(), m, k, m_mean.data() + static_cast<size_t>(c) * k, score.data());
                for (int r = 0; r < m; ++r)
                    if (!inside[r])
                        score[r] = std::numeric_limits<double>::infinity();
                keep(c, score, score);
            }
            break;
        }
        // Rejection: minimum distance by distance, the Gaussian rules by
        // Mahalanobis distance, the spectral angle by angle; the
        // parallelepiped has rejected already (no box).
        const bool rejects = m_threshold > 0 && m_kind != SUPERVISE_PARALLELEPIPED;
        for (int r = 0; r < m; ++r) {
            double measure = bestAux[r];
            if (m_kind != SUPERVISE_SPECTRAL_ANGLE)
                measure = std::sqrt(std::max(0.0, measure));
            labels[index[r]] = static_cast<std::uint16_t>(
                best[r] < 0 || (rejects && measure > m_threshold) ? 0 : best[r] + 1);
        }
    });
}
