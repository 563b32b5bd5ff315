#include "stats/permutation_count.h"

#include <algorithm>
#include <boost/multiprecision/cpp_int.hpp>
#include <cmath>
#include <cstdint>
#include <vector>

namespace brevox {

namespace {

using boost::multiprecision::cpp_int;

// The double statistic is the exact one within a few units in the last place (the two integer
// products and their quotient are each rounded once). So when it lies further than this from the
// observed statistic, relatively, the exact statistic lies on the same side, and so does the
// double statistic of every table whose exact statistic lies further out.
constexpr double kSureMargin = 1e-10;

// Walks the binomial coefficients choose(total, k) of the second work one count at a time,
// keeping the coefficient at k and the sum of all coefficients below k.
struct CoefficientCursor {
  std::int64_t total = 0;
  std::int64_t k = 0;
  cpp_int coefficient = 1;
  cpp_int sumBelow = 0;
};

void moveCursor(CoefficientCursor& cursor, std::int64_t target) {
  while (cursor.k < target) {
    cursor.sumBelow += cursor.coefficient;
    cursor.coefficient *= static_cast<std::uint32_t>(cursor.total - cursor.k);
    cursor.coefficient /= static_cast<std::uint32_t>(cursor.k + 1);
    ++cursor.k;
  }
  while (cursor.k > target) {
    cursor.coefficient *= static_cast<std::uint32_t>(cursor.k);
    cursor.coefficient /= static_cast<std::uint32_t>(cursor.total - cursor.k + 1);
    --cursor.k;
    cursor.sumBelow -= cursor.coefficient;
  }
}

// The sum of choose(total, i) for i below `end`, where end may be total + 1.
const cpp_int& sumBelow(CoefficientCursor& cursor, std::int64_t end, cpp_int& scratch) {
  if (end <= cursor.total) {
    moveCursor(cursor, end);
    return cursor.sumBelow;
  }
  moveCursor(cursor, cursor.total);
  scratch = cursor.sumBelow + cursor.coefficient;
  return scratch;
}

enum class Verdict { kSurelyExtreme, kUnsure, kSurelyLess };

// The counts k of the second work that are less extreme than the observed table, for one count
// of the first work: every k of [firstLess, lastLess] plus the single counts in `scattered`.
struct LessExtremeCounts {
  std::int64_t firstLess = 0;
  std::int64_t lastLess = -1;
  std::vector<std::int64_t> scattered;
};

// What every row of tables is judged against.
struct RowMeasure {
  std::uint32_t totalA = 0;
  std::uint32_t totalB = 0;
  double observed = 0;   // the observed table's statistic
  double sureAbove = 0;  // statistics above this are surely extreme
  double sureBelow = 0;  // statistics below this are surely less extreme
};

RowMeasure rowMeasure(std::uint32_t totalA, std::uint32_t totalB, double observedStatistic) {
  return {totalA, totalB, observedStatistic, observedStatistic * (1 + kSureMargin),
          observedStatistic * (1 - kSureMargin)};
}

double statistic(const RowMeasure& measure, std::int64_t j, std::int64_t k) {
  return permutationStatistic(static_cast<std::uint32_t>(j), measure.totalA,
                              static_cast<std::uint32_t>(k), measure.totalB);
}

bool isLess(const RowMeasure& measure, std::int64_t j, std::int64_t k) {
  return statistic(measure, j, k) < measure.observed;
}

Verdict verdict(const RowMeasure& measure, std::int64_t j, std::int64_t k) {
  const double value = statistic(measure, j, k);
  if (value > measure.sureAbove) return Verdict::kSurelyExtreme;
  if (value < measure.sureBelow) return Verdict::kSurelyLess;
  return Verdict::kUnsure;
}

// Where the exact statistic of row j crosses the observed one, as real numbers k. With
// k = k* + d, the quadratic reads (N nA^2 + c) d^2 - c (N - 2 t) d - c t (N - t), where
// t = j N / nA and c = observed nA nB; both roots are real since t lies in [0, N]. The root of
// larger size comes first, the other from their product -c t (N - t) / (N nA^2 + c), which keeps
// both accurate.
void crossings(const RowMeasure& measure, std::uint32_t j, long double& low, long double& high) {
  const long double nA = measure.totalA;
  const long double nB = measure.totalB;
  const long double all = nA + nB;
  const long double centre = static_cast<long double>(j) * nB / nA;
  const long double t = static_cast<long double>(j) * all / nA;
  const long double c = static_cast<long double>(measure.observed) * nA * nB;
  const long double square = all * nA * nA + c;
  const long double half = c * (all - 2 * t) / 2;
  const long double constant = c * t * (all - t);
  const long double root = std::sqrt(half * half + square * constant);
  low = high = centre;
  if (half >= 0 && half + root > 0) {
    high += (half + root) / square;
    low -= constant / (half + root);
  } else if (half < 0) {
    low += (half - root) / square;
    high += constant / (root - half);
  }
}

std::int64_t clampedStart(long double position, std::int64_t lowest, std::int64_t highest) {
  if (!(position > static_cast<long double>(lowest))) return lowest;
  if (!(position < static_cast<long double>(highest))) return highest;
  return static_cast<std::int64_t>(position);
}

// One side of row j, in steps s = 0 .. length - 1 from its outer end `outer` towards k*
// (k = outer + direction * s); along it the exact statistic does not rise. A surely extreme
// step makes every step before it extreme, a surely less extreme step every step after it less
// extreme, so the walk from `start` stops at the first of each. Returns the first step from
// which every table is surely less extreme (length when none is), after adding the less extreme
// tables between the last surely extreme step and that step to `scattered`.
std::int64_t walkSide(const RowMeasure& measure, std::uint32_t j, std::int64_t outer,
                      std::int64_t direction, std::int64_t length, std::int64_t start,
                      std::vector<std::int64_t>& scattered) {
  std::int64_t lastExtreme = -1;
  std::int64_t firstLess = length;
  for (std::int64_t s = start; s >= 0; --s) {
    const Verdict v = verdict(measure, j, outer + direction * s);
    if (v == Verdict::kSurelyExtreme) {
      lastExtreme = s;
      break;
    }
    if (v == Verdict::kSurelyLess) firstLess = s;
  }
  if (firstLess == length) {
    for (std::int64_t s = start + 1; s < length; ++s) {
      const Verdict v = verdict(measure, j, outer + direction * s);
      if (v == Verdict::kSurelyLess) {
        firstLess = s;
        break;
      }
      if (v == Verdict::kSurelyExtreme) lastExtreme = s;
    }
  }
  for (std::int64_t s = lastExtreme + 1; s < firstLess; ++s) {
    if (isLess(measure, j, outer + direction * s)) scattered.push_back(outer + direction * s);
  }
  return firstLess;
}

// For a fixed j the exact statistic N (j nB - nA k)^2 / (nA nB (j + k) (N - j - k)) is below a
// level c exactly where the convex quadratic N (j nB - nA k)^2 - c nA nB (j + k)(N - j - k) is
// negative: one run of k around k* = j nB / nA, where the statistic is 0, falling before k* and
// rising after it. The crossings of the quadratic say where each side's walk starts; only tables
// near the ends of the run are evaluated.
void judgeRow(const RowMeasure& measure, std::uint32_t j, LessExtremeCounts& less) {
  less.scattered.clear();
  const std::int64_t nA = measure.totalA;
  const std::int64_t nB = measure.totalB;
  // Tables without any occurrence or without any non-occurrence get a fixed statistic and lie
  // outside the run; they are judged on their own.
  std::int64_t lowestK = 0;
  std::int64_t highestK = nB;
  if (j == 0) {
    lowestK = 1;
    if (isLess(measure, 0, 0)) less.scattered.push_back(0);
  }
  if (j == measure.totalA) {
    highestK = nB - 1;
    if (isLess(measure, j, nB)) less.scattered.push_back(nB);
  }
  const std::int64_t split =
      std::clamp<std::int64_t>(static_cast<std::int64_t>(j) * nB / nA + 1, lowestK, highestK + 1);

  long double lowCrossing = 0;
  long double highCrossing = 0;
  crossings(measure, j, lowCrossing, highCrossing);

  // Below the split the statistic falls as k grows; from the split on it rises.
  less.firstLess = split;
  if (lowestK < split) {
    const std::int64_t start = clampedStart(std::ceil(lowCrossing), lowestK, split - 1);
    less.firstLess = lowestK + walkSide(measure, j, lowestK, +1, split - lowestK, start - lowestK,
                                        less.scattered);
  }
  less.lastLess = split - 1;
  if (split <= highestK) {
    const std::int64_t start = clampedStart(std::floor(highCrossing), split, highestK);
    less.lastLess = highestK - walkSide(measure, j, highestK, -1, highestK - split + 1,
                                        highestK - start, less.scattered);
  }
}

// With no case at all in one work there is a single row of tables; it is counted directly.
PermutationWeights countSingleRow(const PairComparison& pair, double observedStatistic,
                                  std::ostream& progress) {
  const std::uint32_t nA = pair.totalA;
  const std::uint32_t nB = pair.totalB;
  PermutationWeights weights;
  bit_set(weights.totalWeight, nA + nB);
  cpp_int coefficient = 1;
  const std::uint32_t length = nA + nB;
  for (std::uint32_t i = 0; i <= length; ++i) {
    const std::uint32_t j = nA == 0 ? 0 : i;
    const std::uint32_t k = nA == 0 ? i : 0;
    if (nA != 0 && j % 10 == 0) progress << '.' << std::flush;
    if (nA == 0 && i == 0) progress << '.' << std::flush;
    const bool observed = j == pair.observedA && k == pair.observedB;
    if (observed || permutationStatistic(j, nA, k, nB) >= observedStatistic) {
      weights.extremeWeight += coefficient;
    }
    coefficient *= length - i;
    coefficient /= i + 1;
  }
  return weights;
}

}  // namespace

PermutationWeights countPermutationWeights(const PairComparison& pair, std::ostream& progress) {
  const std::uint32_t nA = pair.totalA;
  const std::uint32_t nB = pair.totalB;
  const double observedStatistic = permutationStatistic(pair.observedA, nA, pair.observedB, nB);
  if (nA == 0 || nB == 0) return countSingleRow(pair, observedStatistic, progress);

  const RowMeasure measure = rowMeasure(nA, nB, observedStatistic);
  // The less extreme arrangements are counted; the rest of the 2^N are at least as extreme.
  cpp_int lessWeight = 0;
  cpp_int chooseA = 1;
  cpp_int rowSum;
  cpp_int scratch;
  CoefficientCursor lowEnd{nB};
  CoefficientCursor highEnd{nB};
  LessExtremeCounts less;
  for (std::uint32_t j = 0; j <= nA; ++j) {
    if (j % 10 == 0) progress << '.' << std::flush;
    if (j > 0) {
      chooseA *= nA - j + 1;
      chooseA /= j;
    }
    judgeRow(measure, j, less);
    if (less.firstLess > less.lastLess && less.scattered.empty()) continue;
    rowSum = 0;
    if (less.firstLess <= less.lastLess) {
      rowSum = sumBelow(highEnd, less.lastLess + 1, scratch);
      rowSum -= sumBelow(lowEnd, less.firstLess, scratch);
    }
    for (const std::int64_t k : less.scattered) {
      CoefficientCursor& cursor = k < less.firstLess ? lowEnd : highEnd;
      moveCursor(cursor, k);
      rowSum += cursor.coefficient;
    }
    lessWeight += chooseA * rowSum;
  }
  PermutationWeights weights;
  bit_set(weights.totalWeight, nA + nB);
  weights.extremeWeight = weights.totalWeight - lessWeight;
  return weights;
}

}  // namespace brevox
