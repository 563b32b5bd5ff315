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
/// Inline, since the tests judge up to a billion tables by it, most of them in 64 bits.
inline double permutationStatistic(std::uint32_t occurrencesA, std::uint32_t totalA,
                                   std::uint32_t occurrencesB, std::uint32_t totalB);

/// The statistic N t^2 / (nA nB O M) where its products overflow 64 bits: in 128 bits, where the
/// doubles are the same as they would be in 64, or in exact integers beyond.
double permutationStatisticWide(std::int64_t n, std::int64_t t, std::int64_t nA, std::int64_t nB,
                                std::int64_t occurrences, std::int64_t nonOccurrences);

inline double permutationStatistic(std::uint32_t occurrencesA, std::uint32_t totalA,
                                   std::uint32_t occurrencesB, std::uint32_t totalB) {
  const std::int64_t a = occurrencesA;
  const std::int64_t nA = totalA;
  const std::int64_t b = occurrencesB;
  const std::int64_t nB = totalB;
  const std::int64_t aNon = nA - a;
  const std::int64_t bNon = nB - b;
  const std::int64_t occurrences = a + b;
  const std::int64_t nonOccurrences = aNon + bNon;
  if (occurrences == 0 || nonOccurrences == 0) {
    return 1.0;
  }
  const std::int64_t n = nB + nA;
  // |a b' - b a'| is at most nA nB, below 2^62.
  const std::int64_t t = a * bNon - b * aNon;

  // The products in 64 bits where they fit, which is fastest; converting an integer to double
  // rounds it once.
  std::int64_t numerator64 = 0;
  std::int64_t denominator64 = 0;
  if (!__builtin_mul_overflow(n, t, &numerator64) &&
      !__builtin_mul_overflow(numerator64, t, &numerator64) &&
      !__builtin_mul_overflow(nB * nA, nonOccurrences, &denominator64) &&
      !__builtin_mul_overflow(denominator64, occurrences, &denominator64)) {
    return static_cast<double>(numerator64) / static_cast<double>(denominator64);
  }
  return permutationStatisticWide(n, t, nA, nB, occurrences, nonOccurrences);
}

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
