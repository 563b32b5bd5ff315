#pragma once

#include <cstdint>
#include <ostream>

#include "stats/pair_comparison.h"

namespace brevox {

/// The exact permutation test of one table.
struct PermutationResult {
  double pValue = 0;
  std::int32_t significant = 0;
  double threshold = 0;
};

/// Pearson's chi-square statistic of the table with `occurrencesA` of `totalA` and `occurrencesB`
/// of `totalB`: N (a b' - b a')^2 / (nA nB O M), the two integer products each rounded once to
/// double. A table without any occurrence, or without any non-occurrence, gets 1.0.
/// Preconditions: occurrencesA <= totalA, occurrencesB <= totalB, both totals below 2^31.
double permutationStatistic(std::uint32_t occurrencesA, std::uint32_t totalA,
                            std::uint32_t occurrencesB, std::uint32_t totalB);

/// The share of arrangements whose chi-square statistic is at least the observed one, writing one
/// "." to `progress` for every ten counts of the first work (flushed at most every tenth of a
/// second). The printed six digits of `pValue` are those of the exact quotient of the arrangement
/// counts, and the flag says whether that quotient (not its double) lies below the threshold,
/// except on tables too large to count exactly (about 63,000 cases in all), where `pValue` lies
/// within 1e-12 of that quotient, relatively. Preconditions: totalA > 0, totalB
/// > 0, observedA <= totalA, observedB <= totalB, both totals below 2^31.
PermutationResult permutationTest(const PairComparison& pair, double threshold,
                                  std::ostream& progress);

}  // namespace brevox
