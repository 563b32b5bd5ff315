#pragma once

#include <cstdint>

#include "stats/pair_comparison.h"

namespace brevox {

/// The expected-count warning levels of the chi-square tests, as the results hold them.
struct ChiSquareWarning {
  static constexpr std::int32_t none = 0;
  /// Pearson's and Yates' tests: an expected count below 5; the N-1 test: one below 1.
  static constexpr std::int32_t fewCases = 1;
  /// An expected count of 0: the statistics are not finite and have no p-value.
  static constexpr std::int32_t expectedZero = 2;
};

/// Pearson's, Yates' and the N-1 chi-square tests of one table, with expected-count warnings.
struct ChiSquareResult {
  std::int32_t warningPearson = ChiSquareWarning::none;  ///< a ChiSquareWarning level
  std::int32_t warningN1 = ChiSquareWarning::none;       ///< a ChiSquareWarning level
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

}  // namespace brevox
