#pragma once

// GCC 12 takes the inline limb buffer of Boost's exact integers for uninitialised when their
// copies are inlined; it is always written before it is read.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <boost/multiprecision/cpp_int.hpp>
#pragma GCC diagnostic pop

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

/// Arrangement counts of the permutation test.
struct PermutationWeights {
  boost::multiprecision::cpp_int extremeWeight;  ///< arrangements at least as extreme as observed
  boost::multiprecision::cpp_int totalWeight;    ///< all arrangements, 2^(totalA + totalB)
};

/// Pearson's chi-square statistic of the table with `occurrencesA` of `totalA` and `occurrencesB`
/// of `totalB`: N (a b' - b a')^2 / (nA nB O M), the two integer products each rounded once to
/// double. A table without any occurrence, or without any non-occurrence, gets 1.0.
/// Preconditions: occurrencesA <= totalA, occurrencesB <= totalB, both totals below 2^31.
double permutationStatistic(std::uint32_t occurrencesA, std::uint32_t totalA,
                            std::uint32_t occurrencesB, std::uint32_t totalB);

/// Counts the arrangements of occurrences over the cases of both works, writing one "." to
/// `progress` for every ten counts of the first work. Preconditions: totalA > 0, totalB > 0,
/// observedA <= totalA, observedB <= totalB, both totals below 2^31.
PermutationWeights permutationWeights(const PairComparison& pair, std::ostream& progress);

/// The share of arrangements whose chi-square statistic is at least the observed one, with the
/// progress dots of permutationWeights.
PermutationResult permutationTest(const PairComparison& pair, double threshold,
                                  std::ostream& progress);

}  // namespace brevox
