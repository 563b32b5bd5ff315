#include "stats/permutation.h"

#include <cmath>

#include "stats/multiprecision.h"
#include "stats/permutation_count.h"
#include "stats/printed_digits.h"

namespace brevox {

namespace {

using boost::multiprecision::cpp_int;
__extension__ typedef __int128 Int128;
__extension__ typedef unsigned __int128 UInt128;

// Rounds a non-negative integer of any width once to the nearest double: the top 64 bits, with a
// sticky lowest bit standing for everything shifted out, still round like the whole number.
double roundToDouble(std::uint64_t top, unsigned shift, bool lost) {
  if (lost) {
    top |= 1U;
  }
  return std::ldexp(static_cast<double>(top), static_cast<int>(shift));
}

double roundToDouble(UInt128 value) {
  const auto high = static_cast<std::uint64_t>(value >> 64);
  if (high == 0) {
    return static_cast<double>(static_cast<std::uint64_t>(value));
  }
  const auto shift = static_cast<unsigned>(64 - __builtin_clzll(high));
  const bool lost = (value & ((UInt128{1} << shift) - 1)) != 0;
  return roundToDouble(static_cast<std::uint64_t>(value >> shift), shift, lost);
}

double roundToDouble(const cpp_int& value) {
  const unsigned bits = value == 0 ? 0U : static_cast<unsigned>(msb(value)) + 1;
  if (bits <= 64) {
    return static_cast<double>(value.convert_to<std::uint64_t>());
  }
  const unsigned shift = bits - 64;
  const bool lost = lsb(value) < shift;
  return roundToDouble(static_cast<cpp_int>(value >> shift).convert_to<std::uint64_t>(), shift,
                       lost);
}

}  // namespace

double permutationStatisticWide(std::int64_t n, std::int64_t t, std::int64_t nA, std::int64_t nB,
                                std::int64_t occurrences, std::int64_t nonOccurrences) {
  // Large works overflow 64 bits; 128 bits give the same integers, hence the same doubles,
  // wherever 64 bits sufficed, and cover all but enormous totals.
  Int128 numerator = 0;
  Int128 denominator = 0;
  const bool overflow =
      __builtin_mul_overflow(Int128{n}, Int128{t}, &numerator) ||
      __builtin_mul_overflow(numerator, Int128{t}, &numerator) ||
      __builtin_mul_overflow(Int128{nB} * nA, Int128{nonOccurrences}, &denominator) ||
      __builtin_mul_overflow(denominator, Int128{occurrences}, &denominator);
  if (!overflow) {
    return roundToDouble(static_cast<UInt128>(numerator)) /
           roundToDouble(static_cast<UInt128>(denominator));
  }
  const cpp_int exactNumerator = cpp_int(n) * t * t;
  const cpp_int exactDenominator = cpp_int(nB) * nA * nonOccurrences * occurrences;
  return roundToDouble(exactNumerator) / roundToDouble(exactDenominator);
}

namespace {

// The p-value of the exact count, and whether the exact share, not its double, lies below the
// threshold: a share a hair below 1 rounds to 1 and is significant at the threshold 1.
struct ExactShare {
  double pValue = 0;
  bool below = false;
};

ExactShare exactShare(const PairComparison& pair, double threshold, ProgressDots& dots) {
  using Quotient = boost::multiprecision::cpp_bin_float_100;
  const PermutationWeights weights = countPermutationWeights(pair, dots);
  const Quotient share = Quotient(weights.extremeWeight) / Quotient(weights.totalWeight);
  ExactShare exact;
  exact.pValue = share.convert_to<double>();
  if (!(threshold > 0)) return exact;
  if (!std::isfinite(threshold)) {
    exact.below = true;
    return exact;
  }
  // threshold = whole * 2^exponent, both exact: the extreme arrangements lie below that share of
  // all arrangements when extreme * 2^-exponent < whole * total.
  int exponent = 0;
  const auto whole = static_cast<std::uint64_t>(std::ldexp(std::frexp(threshold, &exponent), 53));
  exponent -= 53;
  cpp_int left = weights.extremeWeight;
  cpp_int right = cpp_int(whole) * weights.totalWeight;
  if (exponent < 0) {
    left <<= static_cast<unsigned>(-exponent);
  } else {
    right <<= static_cast<unsigned>(exponent);
  }
  exact.below = left < right;
  return exact;
}

}  // namespace

PermutationResult permutationTest(const PairComparison& pair, double threshold,
                                  std::ostream& progress) {
  ProgressDots dots = progressDots(progress, pair.totalA);
  PermutationResult result;
  result.threshold = threshold;
  const double observed =
      permutationStatistic(pair.observedA, pair.totalA, pair.observedB, pair.totalB);
  bool below = false;
  if (pair.totalA == 0 || pair.totalB == 0) {
    const ExactShare exact = exactShare(pair, threshold, dots);
    result.pValue = exact.pValue;
    below = exact.below;
  } else if (observed == 0) {
    // Every statistic is at least 0: all arrangements count.
    result.pValue = 1;
    below = 1 < threshold;
  } else {
    // The floating sum settles the printed digits and the flag unless the exact quotient could
    // lie on either side of a rounding boundary or of the threshold; then the arrangements are
    // counted exactly where that finishes in seconds.
    const PermutationShare share = sumPermutationShares(pair, dots);
    const bool surelyBelow = share.value + share.error < threshold;
    const bool surelyNot = share.value - share.error >= threshold;
    const bool settled = printsAndDecidesAlikeWithin(share.value, share.error, threshold) &&
                         (surelyBelow || surelyNot);
    if (settled || !exactCountFeasible(pair)) {
      result.pValue = static_cast<double>(share.value);
      below = settled ? surelyBelow : share.value < threshold;
    } else {
      const ExactShare exact = exactShare(pair, threshold, dots);
      result.pValue = exact.pValue;
      below = exact.below;
    }
  }
  finishDots(dots);
  result.significant = below ? 1 : 0;
  return result;
}

}  // namespace brevox
