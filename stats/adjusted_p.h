#pragma once

#include <vector>

namespace brevox {

/// Holm's step-down adjustment of the p-values of one family of tests: the running maximum of
/// (m - i + 1) p(i) over the p-values in ascending order, capped at 1. Returns the adjusted
/// values in the order of `pValues`. A NaN stays NaN and does not count in the family.
std::vector<double> holmAdjusted(const std::vector<double>& pValues);

/// Benjamini and Hochberg's false discovery rate adjustment of one family: the running minimum
/// of m / i p(i) over the p-values in descending order, capped at 1. Returns the adjusted values
/// in the order of `pValues`. A NaN stays NaN and does not count in the family.
std::vector<double> benjaminiHochbergAdjusted(const std::vector<double>& pValues);

}  // namespace brevox
