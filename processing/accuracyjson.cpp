#include "processing/accuracyjson.h"

#include "base/commonfun.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <functional>

namespace tessera {

namespace {

using Json = nlohmann::ordered_json;

// A number; null when undefined or not finite.
Json number(const std::optional<double>& v) {
    return v && std::isfinite(*v) ? Json(*v) : Json(nullptr);
}

Json interval(const std::optional<Interval>& v) {
    return v ? Json::array({number(v->low), number(v->high)}) : Json(nullptr);
}

// The report's -1 ("no points") is null here.
std::optional<double> defined(double percent) {
    return percent < 0 ? std::nullopt : std::optional<double>(percent);
}

std::optional<double> scaled(const std::optional<double>& v, double factor) {
    return v ? std::optional<double>(*v * factor) : std::nullopt;
}

std::optional<Interval> around(const std::optional<double>& value, const std::optional<double>& se) {
    if (!value || !se)
        return std::nullopt;
    return Interval{*value - kZ95 * *se, *value + kZ95 * *se};
}

Json areaAdjusted(const AreaAdjustedEstimates& a, const std::function<std::string(int)>& name,
                  const std::function<int(int)>& value) {
    const double area = a.pixelArea > 0 ? a.pixelArea : std::nan("");
    Json classes = Json::array();
    for (int i = 0; i < static_cast<int>(a.classes.size()); ++i) {
        const AreaClassEstimates& c = a.classes[i];
        classes.push_back(
            {{"value", value(i)},
             {"name", name(i)},
             {"mapped_pixels", c.mappedPixels},
             {"weight", number(c.weight)},
             {"users_accuracy", number(c.users)},
             {"users_accuracy_se", number(c.usersSe)},
             {"users_accuracy_ci95", interval(around(c.users, c.usersSe))},
             {"producers_accuracy", number(c.producers)},
             {"producers_accuracy_se", number(c.producersSe)},
             {"producers_accuracy_ci95", interval(around(c.producers, c.producersSe))},
             {"area_proportion", number(c.areaProportion)},
             {"area_proportion_se", number(c.areaProportionSe)},
             {"area_pixels", number(c.areaPixels)},
             {"area_pixels_ci95", interval(around(c.areaPixels, c.areaPixelsSe))},
             {"area", number(scaled(c.areaPixels, area))},
             {"area_ci95", interval(around(scaled(c.areaPixels, area), scaled(c.areaPixelsSe, area)))}});
    }
    return {{"total_pixels", a.totalPixels},
            {"pixel_area", number(a.pixelArea > 0 ? std::optional<double>(a.pixelArea) : std::nullopt)},
            {"overall_accuracy", number(a.overallAccuracy)},
            {"overall_accuracy_se", number(a.overallAccuracySe)},
            {"overall_accuracy_ci95", interval(around(a.overallAccuracy, a.overallAccuracySe))},
            {"classes", std::move(classes)}};
}

} // namespace

std::string FormatAccuracyJson(std::int64_t points, const ErrorMatrix& matrix, const AccuracySummary& summary,
                               const AccuracyEstimates& estimates, const std::vector<std::wstring>& names,
                               const std::vector<int>& values,
                               const std::vector<std::pair<std::string, std::int64_t>>& checkPoints) {
    const int n = matrix.ClassCount();
    const auto value = [&](int i) { return i < static_cast<int>(values.size()) ? values[i] : i; };
    const auto name = [&](int i) {
        return i < static_cast<int>(names.size()) ? CommonFun::U2M(names[i]) : std::string();
    };
    Json classes = Json::array();
    for (int i = 0; i < n; ++i) {
        const ClassAccuracy& c = summary.classes[i];
        const ClassEstimates& e = estimates.classes[i];
        const bool kappaDefined = c.classifiedTotal > 0 && c.referenceTotal < summary.counted;
        classes.push_back({{"value", value(i)},
                           {"name", name(i)},
                           {"reference_total", c.referenceTotal},
                           {"classified_total", c.classifiedTotal},
                           {"correct", c.correct},
                           {"producers_accuracy", number(defined(c.producers))},
                           {"producers_accuracy_ci95", interval(e.producersCi)},
                           {"users_accuracy", number(defined(c.users))},
                           {"users_accuracy_ci95", interval(e.usersCi)},
                           {"conditional_kappa", kappaDefined ? number(c.conditionalKappa) : Json(nullptr)},
                           {"conditional_kappa_variance", number(e.conditionalKappaVariance)}});
    }
    Json rows = Json::array(); // rows classified, columns reference
    for (int i = 0; i < n; ++i) {
        Json row = Json::array();
        for (int r = 0; r < n; ++r)
            row.push_back(matrix.At(r, i));
        rows.push_back(std::move(row));
    }
    Json json = {{"points", points},
                 {"counted_points", summary.counted},
                 {"overall_accuracy", number(defined(summary.overallAccuracy))},
                 {"overall_accuracy_ci95", interval(estimates.overallAccuracyCi)},
                 {"kappa", summary.counted > 0 ? number(summary.kappa) : Json(nullptr)},
                 {"kappa_variance", number(estimates.kappaVariance)},
                 {"kappa_ci95", interval(estimates.kappaCi)},
                 {"classes", std::move(classes)},
                 {"matrix", std::move(rows)},
                 {"area_adjusted", estimates.areaAdjusted ? areaAdjusted(*estimates.areaAdjusted, name, value)
                                                          : Json(nullptr)}};
    if (!checkPoints.empty()) {
        Json tally = Json::object();
        for (const auto& [key, count] : checkPoints)
            tally[key] = count;
        json["check_points"] = std::move(tally);
    }
    return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

} // namespace tessera
