#pragma once
// What the text report leaves out and users of accuracy assessment ask for:
// 95 % confidence intervals of the accuracies, the variance of kappa and of
// the conditional kappas, and area-adjusted (stratified) estimates of
// accuracy and class area with standard errors. Formulas and sources are in
// docs/accuracy.md. Accuracies are in percent, as in the report; a value
// that is not defined (no points to estimate from) is empty.

#include "processing/accuracyreport.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tessera {

inline constexpr double kZ95 = 1.959963984540054; // two-sided 95 % normal quantile

struct Interval {
    double low = 0;
    double high = 0;
};

struct ClassEstimates {
    std::optional<Interval> producersCi; // binomial, on the class's reference points
    std::optional<Interval> usersCi;     // binomial, on the class's classified points
    std::optional<double> conditionalKappaVariance;
};

struct AreaClassEstimates {
    std::int64_t mappedPixels = 0;
    double weight = 0; // share of the map in the class
    std::optional<double> users, usersSe;
    std::optional<double> producers, producersSe;
    std::optional<double> areaProportion, areaProportionSe; // fractions of the map
    std::optional<double> areaPixels, areaPixelsSe;
};

struct AreaAdjustedEstimates {
    std::int64_t totalPixels = 0;
    double pixelArea = 0; // ground units squared per pixel; 0 when unknown
    std::optional<double> overallAccuracy, overallAccuracySe;
    std::vector<AreaClassEstimates> classes;
};

struct AccuracyEstimates {
    std::optional<Interval> overallAccuracyCi;
    std::optional<double> kappaVariance;
    std::optional<Interval> kappaCi;
    std::vector<ClassEstimates> classes;
    // Empty without class pixel counts, or when a class with mapped pixels
    // has no point classified as it (its stratum is not sampled).
    std::optional<AreaAdjustedEstimates> areaAdjusted;
};

// p +- z sqrt(p (1 - p) / n) for a proportion of successes out of n, in
// percent, clipped to 0..100; empty when n is 0.
std::optional<Interval> BinomialInterval95(std::int64_t successes, std::int64_t n);

// Kappa variance by the delta method (Congalton and Green); empty when the
// matrix holds no point or the chance agreement is 1.
std::optional<double> KappaVariance(const ErrorMatrix& matrix);
// Variance of the conditional (user's) kappa of a class; empty when undefined.
std::optional<double> ConditionalKappaVariance(const ErrorMatrix& matrix, int classIndex);

// Stratified estimators with the map classes as strata (Olofsson et al.
// 2014): mappedPixels[i] pixels of the map are in class i; pixelArea scales
// pixel counts to ground area.
std::optional<AreaAdjustedEstimates>
AreaAdjusted(const ErrorMatrix& matrix, const std::vector<std::int64_t>& mappedPixels, double pixelArea);

// Everything above; mappedPixels may be empty (no area-adjusted estimates).
AccuracyEstimates EstimateAccuracy(const ErrorMatrix& matrix, const AccuracySummary& summary,
                                   const std::vector<std::int64_t>& mappedPixels, double pixelArea);

} // namespace tessera
