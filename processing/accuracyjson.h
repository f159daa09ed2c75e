#pragma once
// The accuracy assessment as JSON: the report's numbers (accuracies in
// percent, the matrix with rows classified and columns reference) and the
// estimates. An undefined value is null, never NaN or the report's -1.

#include "processing/accuracyestimates.h"

#include <string>
#include <vector>

namespace tessera {

std::string FormatAccuracyJson(std::int64_t points, const ErrorMatrix& matrix, const AccuracySummary& summary,
                               const AccuracyEstimates& estimates, const std::vector<std::wstring>& names);

} // namespace tessera
