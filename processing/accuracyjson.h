#pragma once
// The accuracy assessment as JSON: the report's numbers (accuracies in
// percent, the matrix with rows classified and columns reference) and the
// estimates. An undefined value is null, never NaN or the report's -1.

#include "processing/accuracyestimates.h"

#include <string>
#include <utility>
#include <vector>

namespace tessera {

// values[i] is the pixel value of class i (i itself when values is empty), so
// sparse codes keep their values; checkPoints, when given, is written as the
// object "check_points" (how many were asked for, drawn, counted, skipped).
std::string FormatAccuracyJson(std::int64_t points, const ErrorMatrix& matrix, const AccuracySummary& summary,
                               const AccuracyEstimates& estimates, const std::vector<std::wstring>& names,
                               const std::vector<int>& values = {},
                               const std::vector<std::pair<std::string, std::int64_t>>& checkPoints = {});

} // namespace tessera
