#include "processing/signatures.h"

#include "engine/classifysamplefile.h"
#include "platform/commonfun.h"

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

int DecisionRule::nearestMean(const float* pixel, double& bestDistance2) const {
    int best = -1;
    bestDistance2 = std::numeric_limits<double>::infinity();
    const double* m = m_mean.data();
    for (int c = 0; c < m_classes; ++c, m += m_bands) {
        double d = 0;
        for (int b = 0; b < m_bands; ++b) {
            const double diff = pixel[b] - m[b];
            d += diff * diff;
        }
        if (d < bestDistance2) {
            bestDistance2 = d;
            best = c;
        }
    }
    return best;
}

int DecisionRule::Classify(const float* pixel) const {
    const int k = m_bands;
    switch (m_kind) {
    case SUPERVISE_MINIMUM_DISTANCE: {
        double d2 = 0;
        const int best = nearestMean(pixel, d2);
        if (best < 0 || (m_threshold > 0 && std::sqrt(d2) > m_threshold))
            return 0;
        return best + 1;
    }
    case SUPERVISE_MAXIMUM_LIKELIHOOD:
    case SUPERVISE_MAHALANOBIS: {
        int best = -1;
        double bestScore = std::numeric_limits<double>::infinity(), bestD2 = 0;
        double centred[64];
        std::vector<double> wide;
        double* x = centred;
        if (k > 64) {
            wide.resize(k);
            x = wide.data();
        }
        for (int c = 0; c < m_classes; ++c) {
            const double* m = m_mean.data() + static_cast<size_t>(c) * k;
            for (int b = 0; b < k; ++b)
                x[b] = pixel[b] - m[b];
            const double* inv = m_inverse.data() + static_cast<size_t>(c) * k * k;
            double d2 = 0;
            for (int i = 0; i < k; ++i) {
                double row = 0;
                for (int j = 0; j < k; ++j)
                    row += inv[i * k + j] * x[j];
                d2 += x[i] * row;
            }
            // Maximum likelihood with equal priors: smallest ln|Σ| + d².
            const double score = m_kind == SUPERVISE_MAXIMUM_LIKELIHOOD ? m_logDet[c] + d2 : d2;
            if (score < bestScore) {
                bestScore = score;
                bestD2 = d2;
                best = c;
            }
        }
        if (best < 0 || (m_threshold > 0 && std::sqrt(std::max(0.0, bestD2)) > m_threshold))
            return 0;
        return best + 1;
    }
    case SUPERVISE_SPECTRAL_ANGLE: {
        double norm = 0;
        for (int b = 0; b < k; ++b)
            norm += static_cast<double>(pixel[b]) * pixel[b];
        norm = std::sqrt(norm);
        if (norm == 0)
            return 0;
        int best = -1;
        double bestAngle = std::numeric_limits<double>::infinity();
        for (int c = 0; c < m_classes; ++c) {
            if (m_meanNorm[c] == 0)
                continue;
            const double* m = m_mean.data() + static_cast<size_t>(c) * k;
            double dot = 0;
            for (int b = 0; b < k; ++b)
                dot += pixel[b] * m[b];
            const double angle = std::acos(std::clamp(dot / (norm * m_meanNorm[c]), -1.0, 1.0));
            if (angle < bestAngle) {
                bestAngle = angle;
                best = c;
            }
        }
        if (best < 0 || (m_threshold > 0 && bestAngle > m_threshold))
            return 0;
        return best + 1;
    }
    case SUPERVISE_PARALLELEPIPED: {
        // Among the boxes holding the pixel, the class with the nearest mean.
        int best = -1;
        double bestD2 = std::numeric_limits<double>::infinity();
        for (int c = 0; c < m_classes; ++c) {
            const double* lo = m_low.data() + static_cast<size_t>(c) * k;
            const double* hi = m_high.data() + static_cast<size_t>(c) * k;
            bool inside = true;
            for (int b = 0; b < k && inside; ++b)
                inside = pixel[b] >= lo[b] && pixel[b] <= hi[b];
            if (!inside)
                continue;
            const double* m = m_mean.data() + static_cast<size_t>(c) * k;
            double d2 = 0;
            for (int b = 0; b < k; ++b)
                d2 += (pixel[b] - m[b]) * (pixel[b] - m[b]);
            if (d2 < bestD2) {
                bestD2 = d2;
                best = c;
            }
        }
        return best + 1;
    }
    }
    return 0;
}
