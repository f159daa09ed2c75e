#include "processing/accuracyjson.h"

#include "base/commonfun.h"
#include "base/jsontext.h"

#include <cmath>

namespace {

class Json {
public:
    std::string text;

    void raw(const char* s) { text += s; }
    void number(double v) { text += JsonText::Number(v); }
    void integer(std::int64_t v) { text += std::to_string(v); }
    void optional(const std::optional<double>& v) { text += JsonText::Number(v); }
    void interval(const std::optional<Interval>& v) {
        if (!v) {
            text += "null";
            return;
        }
        text += "[";
        number(v->low);
        text += ", ";
        number(v->high);
        text += "]";
    }
    void string(const std::string& utf8) { text += JsonText::String(utf8); }
    void key(const char* name) {
        string(name);
        text += ": ";
    }
};

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

} // namespace

std::string FormatAccuracyJson(std::int64_t points, const ErrorMatrix& matrix, const AccuracySummary& summary,
                               const AccuracyEstimates& estimates, const std::vector<std::wstring>& names) {
    const int n = matrix.ClassCount();
    auto name = [&](int i) { return i < static_cast<int>(names.size()) ? CommonFun::U2M(names[i]) : std::string(); };
    Json j;
    j.raw("{\n  ");
    j.key("points");
    j.integer(points);
    j.raw(",\n  ");
    j.key("counted_points");
    j.integer(summary.counted);
    j.raw(",\n  ");
    j.key("overall_accuracy");
    j.optional(defined(summary.overallAccuracy));
    j.raw(",\n  ");
    j.key("overall_accuracy_ci95");
    j.interval(estimates.overallAccuracyCi);
    j.raw(",\n  ");
    j.key("kappa");
    j.optional(summary.counted > 0 ? std::optional<double>(summary.kappa) : std::nullopt);
    j.raw(",\n  ");
    j.key("kappa_variance");
    j.optional(estimates.kappaVariance);
    j.raw(",\n  ");
    j.key("kappa_ci95");
    j.interval(estimates.kappaCi);
    j.raw(",\n  ");
    j.key("classes");
    j.raw("[");
    for (int i = 0; i < n; ++i) {
        const ClassAccuracy& c = summary.classes[i];
        const ClassEstimates& e = estimates.classes[i];
        j.raw(i ? ",\n    {" : "\n    {");
        j.key("value");
        j.integer(i);
        j.raw(", ");
        j.key("name");
        j.string(name(i));
        j.raw(", ");
        j.key("reference_total");
        j.integer(c.referenceTotal);
        j.raw(", ");
        j.key("classified_total");
        j.integer(c.classifiedTotal);
        j.raw(", ");
        j.key("correct");
        j.integer(c.correct);
        j.raw(", ");
        j.key("producers_accuracy");
        j.optional(defined(c.producers));
        j.raw(", ");
        j.key("producers_accuracy_ci95");
        j.interval(e.producersCi);
        j.raw(", ");
        j.key("users_accuracy");
        j.optional(defined(c.users));
        j.raw(", ");
        j.key("users_accuracy_ci95");
        j.interval(e.usersCi);
        j.raw(", ");
        j.key("conditional_kappa");
        j.optional(c.classifiedTotal > 0 && c.referenceTotal < summary.counted
                       ? std::optional<double>(c.conditionalKappa)
                       : std::nullopt);
        j.raw(", ");
        j.key("conditional_kappa_variance");
        j.optional(e.conditionalKappaVariance);
        j.raw("}");
    }
    j.raw(n ? "\n  ],\n  " : "],\n  ");
    j.key("matrix");
    j.raw("[");
    for (int i = 0; i < n; ++i) { // rows classified, columns reference
        j.raw(i ? ",\n    [" : "\n    [");
        for (int r = 0; r < n; ++r) {
            if (r)
                j.raw(", ");
            j.integer(matrix.At(r, i));
        }
        j.raw("]");
    }
    j.raw(n ? "\n  ],\n  " : "],\n  ");
    j.key("area_adjusted");
    if (!estimates.areaAdjusted) {
        j.raw("null");
    } else {
        const AreaAdjustedEstimates& a = *estimates.areaAdjusted;
        const double area = a.pixelArea > 0 ? a.pixelArea : std::nan("");
        j.raw("{\n    ");
        j.key("total_pixels");
        j.integer(a.totalPixels);
        j.raw(",\n    ");
        j.key("pixel_area");
        j.optional(a.pixelArea > 0 ? std::optional<double>(a.pixelArea) : std::nullopt);
        j.raw(",\n    ");
        j.key("overall_accuracy");
        j.optional(a.overallAccuracy);
        j.raw(",\n    ");
        j.key("overall_accuracy_se");
        j.optional(a.overallAccuracySe);
        j.raw(",\n    ");
        j.key("overall_accuracy_ci95");
        j.interval(around(a.overallAccuracy, a.overallAccuracySe));
        j.raw(",\n    ");
        j.key("classes");
        j.raw("[");
        for (int i = 0; i < static_cast<int>(a.classes.size()); ++i) {
            const AreaClassEstimates& c = a.classes[i];
            j.raw(i ? ",\n      {" : "\n      {");
            j.key("value");
            j.integer(i);
            j.raw(", ");
            j.key("name");
            j.string(name(i));
            j.raw(", ");
            j.key("mapped_pixels");
            j.integer(c.mappedPixels);
            j.raw(", ");
            j.key("weight");
            j.number(c.weight);
            j.raw(", ");
            j.key("users_accuracy");
            j.optional(c.users);
            j.raw(", ");
            j.key("users_accuracy_se");
            j.optional(c.usersSe);
            j.raw(", ");
            j.key("users_accuracy_ci95");
            j.interval(around(c.users, c.usersSe));
            j.raw(", ");
            j.key("producers_accuracy");
            j.optional(c.producers);
            j.raw(", ");
            j.key("producers_accuracy_se");
            j.optional(c.producersSe);
            j.raw(", ");
            j.key("producers_accuracy_ci95");
            j.interval(around(c.producers, c.producersSe));
            j.raw(", ");
            j.key("area_proportion");
            j.optional(c.areaProportion);
            j.raw(", ");
            j.key("area_proportion_se");
            j.optional(c.areaProportionSe);
            j.raw(", ");
            j.key("area_pixels");
            j.optional(c.areaPixels);
            j.raw(", ");
            j.key("area_pixels_ci95");
            j.interval(around(c.areaPixels, c.areaPixelsSe));
            j.raw(", ");
            j.key("area");
            j.optional(scaled(c.areaPixels, area));
            j.raw(", ");
            j.key("area_ci95");
            j.interval(around(scaled(c.areaPixels, area), scaled(c.areaPixelsSe, area)));
            j.raw("}");
        }
        j.raw(a.classes.empty() ? "]\n  }" : "\n    ]\n  }");
    }
    j.raw("\n}\n");
    return j.text;
}
