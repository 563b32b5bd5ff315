#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "data/data_set.h"

namespace brevox {

/// Whether the works of a criterion share one proportion of occurrences: Pearson's chi-square on
/// the table of the works with cases by occurrences and other cases.
struct HomogeneityTest {
  std::size_t works = 0;          ///< works with at least one case
  std::uint64_t occurrences = 0;  ///< of all those works
  std::uint64_t cases = 0;
  /// Empty with fewer than two works with cases, and where every work has a proportion of 0, or
  /// every work one of 1: the table has an empty column and the statistic no meaning.
  std::optional<double> chiSquare;
  std::size_t degreesOfFreedom = 0;  ///< works - 1, where the statistic exists
  std::optional<double> pValue;      ///< the upper tail of chi-square at those degrees
  std::optional<double> cramersV;    ///< sqrt(chi-square / cases): 0 alike, 1 wholly apart
  /// An expected count under 5: the chi-square distribution fits the statistic loosely.
  bool fewExpected = false;
  /// Every work has the same proportion, 0 or 1.
  bool noVariation = false;
};

/// The test over the works' counts under one criterion; works without cases take no part.
/// Preconditions: observed <= total for every work.
HomogeneityTest homogeneityTest(const std::vector<CountPair>& works);

}  // namespace brevox
