#include "processing/accuracyestimates.h"

#include <algorithm>
#include <cmath>

namespace tessera {

std::optional<Interval> BinomialInterval95(std::int64_t successes, std::int64_t n) {
    if (n <= 0)
        return std::nullopt;
    const double p = static_cast<double>(successes) / static_cast<double>(n);
    const double half = kZ95 * std::sqrt(p * (1.0 - p) / static_cast<double>(n));
    return Interval{std::max(0.0, p - half) * 100.0, std::min(1.0, p + half) * 100.0};
}

std::optional<double> KappaVariance(const ErrorMatrix& m) {
    // Rows classified (i), columns reference (j), as Congalton and Green write it.
    const int k = m.ClassCount();
    auto cell = [&](int i, int j) { return static_cast<double>(m.At(j, i)); };
    std::vector<double> row(k, 0.0), column(k, 0.0);
    double n = 0;
    for (int i = 0; i < k; ++i)
        for (int j = 0; j < k; ++j) {
            row[i] += cell(i, j);
            column[j] += cell(i, j);
            n += cell(i, j);
        }
    if (n <= 0)
        return std::nullopt;
    double t1 = 0, t2 = 0, t3 = 0, t4 = 0;
    for (int i = 0; i < k; ++i) {
        t1 += cell(i, i);
        t2 += row[i] * column[i];
        t3 += cell(i, i) * (row[i] + column[i]);
        for (int j = 0; j < k; ++j)
            t4 += cell(i, j) * (row[j] + column[i]) * (row[j] + column[i]);
    }
    t1 /= n;
    t2 /= n * n;
    t3 /= n * n;
    t4 /= n * n * n;
    const double q = 1.0 - t2;
    if (q <= 0)
        return std::nullopt;
    const double v = (t1 * (1 - t1) / (q * q) + 2 * (1 - t1) * (2 * t1 * t2 - t3) / (q * q * q) +
                      (1 - t1) * (1 - t1) * (t4 - 4 * t2 * t2) / (q * q * q * q)) /
                     n;
    return std::max(0.0, v);
}

std::optional<double> ConditionalKappaVariance(const ErrorMatrix& m, int c) {
    const int k = m.ClassCount();
    if (c < 0 || c >= k)
        return std::nullopt;
    double n = 0, classified = 0, reference = 0;
    for (int i = 0; i < k; ++i)
        for (int j = 0; j < k; ++j)
            n += static_cast<double>(m.At(j, i));
    for (int j = 0; j < k; ++j) {
        classified += static_cast<double>(m.At(j, c));
        reference += static_cast<double>(m.At(c, j));
    }
    const double nii = static_cast<double>(m.At(c, c));
    const double base = classified * (n - reference);
    if (base <= 0)
        return std::nullopt;
    const double v = n * (classified - nii) / (base * base * base) *
                     ((classified - nii) * (classified * reference - n * nii) +
                      n * nii * (n - classified - reference + nii));
    return std::max(0.0, v);
}

std::optional<AreaAdjustedEstimates> AreaAdjusted(const ErrorMatrix& m,
                                                  const std::vector<std::int64_t>& mapped, double pixelArea) {
    // Olofsson et al. write the map class (stratum) as row i and the
    // reference class as column j: n_ij = points of map class i, reference j.
    const int k = m.ClassCount();
    if (k == 0 || static_cast<int>(mapped.size()) < k)
        return std::nullopt;
    std::vector<double> nRow(k, 0.0), weight(k, 0.0), N(k, 0.0);
    double total = 0;
    for (int i = 0; i < k; ++i) {
        if (mapped[i] < 0)
            return std::nullopt;
        N[i] = static_cast<double>(mapped[i]);
        total += N[i];
        for (int j = 0; j < k; ++j)
            nRow[i] += static_cast<double>(m.At(j, i));
    }
    if (total <= 0)
        return std::nullopt;
    for (int i = 0; i < k; ++i) {
        weight[i] = N[i] / total;
        if (weight[i] > 0 && nRow[i] == 0)
            return std::nullopt; // a mapped class without a sample: no stratified estimate
    }
    auto n = [&](int i, int j) { return static_cast<double>(m.At(j, i)); };
    // Proportion of stratum i's sample with reference j (0 for an empty stratum of no weight).
    auto share = [&](int i, int j) { return nRow[i] > 0 ? n(i, j) / nRow[i] : 0.0; };
    // Variances divide by n_i - 1: defined when every weighted stratum has two points.
    bool varianceDefined = true;
    for (int i = 0; i < k; ++i)
        if (weight[i] > 0 && nRow[i] < 2)
            varianceDefined = false;
    auto stratumTerm = [&](int i, double p) { return nRow[i] > 1 ? p * (1 - p) / (nRow[i] - 1) : 0.0; };

    AreaAdjustedEstimates e;
    e.totalPixels = static_cast<std::int64_t>(total);
    e.pixelArea = pixelArea;
    e.classes.resize(k);
    double overall = 0, overallVar = 0;
    for (int i = 0; i < k; ++i) {
        overall += weight[i] * share(i, i);
        overallVar += weight[i] * weight[i] * stratumTerm(i, share(i, i));
    }
    e.overallAccuracy = overall * 100.0;
    if (varianceDefined)
        e.overallAccuracySe = std::sqrt(overallVar) * 100.0;

    for (int j = 0; j < k; ++j) {
        AreaClassEstimates& c = e.classes[j];
        c.mappedPixels = mapped[j];
        c.weight = weight[j];
        // Area proportion of reference class j and its standard error.
        double proportion = 0, proportionVar = 0, estimatedPixels = 0;
        for (int i = 0; i < k; ++i) {
            proportion += weight[i] * share(i, j);
            proportionVar += weight[i] * weight[i] * stratumTerm(i, share(i, j));
            estimatedPixels += N[i] * share(i, j);
        }
        c.areaProportion = proportion;
        c.areaPixels = proportion * total;
        if (varianceDefined) {
            c.areaProportionSe = std::sqrt(proportionVar);
            c.areaPixelsSe = std::sqrt(proportionVar) * total;
        }
        if (nRow[j] > 0) {
            const double u = share(j, j);
            c.users = u * 100.0;
            if (nRow[j] > 1)
                c.usersSe = std::sqrt(u * (1 - u) / (nRow[j] - 1)) * 100.0;
        }
        if (proportion > 0) {
            const double p = weight[j] * share(j, j) / proportion;
            c.producers = p * 100.0;
            if (varianceDefined) {
                const double u = share(j, j);
                double others = 0;
                for (int i = 0; i < k; ++i)
                    if (i != j)
                        others += N[i] * N[i] * stratumTerm(i, share(i, j));
                const double v = (N[j] * N[j] * (1 - p) * (1 - p) * stratumTerm(j, u) + p * p * others) /
                                 (estimatedPixels * estimatedPixels);
                c.producersSe = std::sqrt(std::max(0.0, v)) * 100.0;
            }
        }
    }
    return e;
}

AccuracyEstimates EstimateAccuracy(const ErrorMatrix& matrix, const AccuracySummary& summary,
                                   const std::vector<std::int64_t>& mappedPixels, double pixelArea) {
    AccuracyEstimates e;
    e.overallAccuracyCi = BinomialInterval95(summary.totalCorrect, summary.counted);
    e.kappaVariance = KappaVariance(matrix);
    if (e.kappaVariance) {
        const double half = kZ95 * std::sqrt(*e.kappaVariance);
        e.kappaCi = Interval{summary.kappa - half, summary.kappa + half};
    }
    e.classes.resize(summary.classes.size());
    for (size_t i = 0; i < summary.classes.size(); ++i) {
        const ClassAccuracy& c = summary.classes[i];
        e.classes[i].producersCi = BinomialInterval95(c.correct, c.referenceTotal);
        e.classes[i].usersCi = BinomialInterval95(c.correct, c.classifiedTotal);
        e.classes[i].conditionalKappaVariance = ConditionalKappaVariance(matrix, static_cast<int>(i));
    }
    if (!mappedPixels.empty())
        e.areaAdjusted = AreaAdjusted(matrix, mappedPixels, pixelArea);
    return e;
}

} // namespace tessera
