#pragma once
// Separability of two class signatures (mean vector and covariance matrix,
// Gaussian classes), as used to judge training samples before a supervised
// classification. See docs/algorithms.md for the formulas and their source.
//
//   Jeffries-Matusita:      JM = 2 (1 - exp(-B)), 0 ... 2
//   transformed divergence: TD = 2000 (1 - exp(-D / 8)), 0 ... 2000
//
// B is the Bhattacharyya distance and D the divergence. Both need invertible
// covariance matrices; a signature whose matrix is not positive definite has
// no value (nullopt). Header-only, shared by the sample editor's module and
// the command-line tool.

#include <Eigen/Cholesky>
#include <Eigen/Dense>

#include <cmath>
#include <optional>
#include <vector>

namespace tessera {

namespace Separability {

struct Signature {
    const std::vector<double>* mean = nullptr;       // k values
    const std::vector<double>* covariance = nullptr; // k x k, row-major
};

struct PairMeasures {
    std::optional<double> bhattacharyya, divergence;
    std::optional<double> jeffriesMatusita, transformedDivergence;
};

namespace detail {

inline Eigen::MatrixXd matrixOf(const std::vector<double>& values, int k) {
    Eigen::MatrixXd m(k, k);
    for (int i = 0; i < k; ++i)
        for (int j = 0; j < k; ++j)
            m(i, j) = values[static_cast<size_t>(i) * k + j];
    return 0.5 * (m + m.transpose()); // round-off may leave it slightly asymmetric
}

// ln |m| through a Cholesky factor of m; nullopt when m is not positive
// definite, also numerically: a pivot below 1e-12 of the largest diagonal
// value counts as zero (a band of constant value, or one band a copy of another).
inline std::optional<double> logDeterminant(const Eigen::MatrixXd& m,
                                            const Eigen::LLT<Eigen::MatrixXd>& llt) {
    if (llt.info() != Eigen::Success)
        return std::nullopt;
    const double scale = m.diagonal().cwiseAbs().maxCoeff();
    const Eigen::VectorXd d = llt.matrixL().toDenseMatrix().diagonal();
    double sum = 0.0;
    for (int i = 0; i < d.size(); ++i) {
        if (!(d(i) > 0.0) || !std::isfinite(d(i)) || d(i) * d(i) <= 1e-12 * scale)
            return std::nullopt;
        sum += 2.0 * std::log(d(i));
    }
    return sum;
}

} // namespace detail

// Whether the first k x k values form a positive definite matrix (one that a
// Gaussian classifier can invert).
inline bool PositiveDefinite(const std::vector<double>& covariance, int k) {
    if (k <= 0 || covariance.size() < static_cast<size_t>(k) * k)
        return false;
    const Eigen::MatrixXd m = detail::matrixOf(covariance, k);
    if (!m.allFinite())
        return false;
    return detail::logDeterminant(m, Eigen::LLT<Eigen::MatrixXd>(m)).has_value();
}

// Both measures over the first k bands of two signatures.
inline PairMeasures Measure(const Signature& a, const Signature& b, int k) {
    PairMeasures out;
    const size_t n = static_cast<size_t>(k);
    if (k <= 0 || !a.mean || !b.mean || !a.covariance || !b.covariance || a.mean->size() < n ||
        b.mean->size() < n || a.covariance->size() < n * n || b.covariance->size() < n * n)
        return out;
    const Eigen::MatrixXd c1 = detail::matrixOf(*a.covariance, k);
    const Eigen::MatrixXd c2 = detail::matrixOf(*b.covariance, k);
    Eigen::VectorXd d(k);
    for (int i = 0; i < k; ++i)
        d(i) = (*a.mean)[i] - (*b.mean)[i];
    if (!d.allFinite() || !c1.allFinite() || !c2.allFinite())
        return out;

    const Eigen::LLT<Eigen::MatrixXd> llt1(c1), llt2(c2);
    const Eigen::MatrixXd average = 0.5 * (c1 + c2);
    const Eigen::LLT<Eigen::MatrixXd> lltAverage(average);
    const auto ld1 = detail::logDeterminant(c1, llt1), ld2 = detail::logDeterminant(c2, llt2),
               ldAverage = detail::logDeterminant(average, lltAverage);
    if (!ld1 || !ld2 || !ldAverage)
        return out;

    // B = 1/8 d' ((C1 + C2) / 2)^-1 d + 1/2 ln(|(C1 + C2) / 2| / sqrt(|C1| |C2|))
    const double mahalanobis = d.dot(lltAverage.solve(d));
    const double bhattacharyya = mahalanobis / 8.0 + 0.5 * (*ldAverage - 0.5 * (*ld1 + *ld2));
    // D = 1/2 tr((C1 - C2)(C2^-1 - C1^-1)) + 1/2 tr((C1^-1 + C2^-1) d d')
    const Eigen::MatrixXd identity = Eigen::MatrixXd::Identity(k, k);
    const Eigen::MatrixXd inv1 = llt1.solve(identity), inv2 = llt2.solve(identity);
    const double divergence = 0.5 * ((c1 - c2) * (inv2 - inv1)).trace() + 0.5 * d.dot((inv1 + inv2) * d);
    if (!std::isfinite(bhattacharyya) || !std::isfinite(divergence))
        return out;

    out.bhattacharyya = bhattacharyya;
    out.divergence = divergence;
    out.jeffriesMatusita = 2.0 * (1.0 - std::exp(-bhattacharyya));
    out.transformedDivergence = 2000.0 * (1.0 - std::exp(-divergence / 8.0));
    return out;
}

} // namespace Separability

} // namespace tessera
