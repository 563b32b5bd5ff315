#pragma once

#include <cstdint>
#include <string>

#include "stats/pair_comparison.h"

namespace brevox {

/// Pearson's, Yates' and the N-1 chi-square tests of one table, with expected-count warnings.
struct ChiSquareResult {
  std::int32_t warningPearson = 0;  ///< 0 OK, 1 an expected count below 5, 2 one equal to 0
  std::int32_t warningN1 = 0;       ///< 0 OK, 1 an expected count below 1, 2 one equal to 0
  double minExpected = 0;
  std::int32_t significantPearson = 0;
  std::int32_t significantYates = 0;
  std::int32_t significantN1 = 0;
  double chiPearson = 0;
  double chiYates = 0;
  double chiN1 = 0;
  double threshold = 0;
  double pPearson = 0;
  double pYates = 0;
  double pN1 = 0;
};

/// Runs the three chi-square tests; never fails. A table with an expected count of 0 (no
/// occurrence, no non-occurrence, or a work without cases) gets both warning levels 2,
/// minExpected 0, the statistics as they come out (NaN for Pearson's and N-1, infinite or NaN for
/// Yates'), NaN p-values and flags 0.
ChiSquareResult chiSquareTests(const PairComparison& pair, double threshold);

/// "OK" for 0, "AT LEAST ONE EXPECTED VALUE = 0" for 2, "NUMBER OF CASES TOO LOW" otherwise.
std::string chiSquareWarningText(std::int32_t warning);

}  // namespace brevox
