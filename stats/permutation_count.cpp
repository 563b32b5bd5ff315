#include "stats/permutation_count.h"

#include <algorithm>
#include <boost/multiprecision/cpp_int.hpp>
#include <cmath>
#include <cstdint>
#include <vector>

namespace brevox {

namespace {

using boost::multiprecision::cpp_int;

// A statistic further than this relative distance from the observed one is judged the same way by
// its double value as by its exact value, whatever the rounding of the two integer products and
// the quotient (a few units in the last place).
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

class RowJudge {
 public:
  RowJudge(std::uint32_t totalA, std::uint32_t totalB, double observedStatistic)
      : totalA_(totalA),
        totalB_(totalB),
        observed_(observedStatistic),
        sureAbove_(observedStatistic * (1 + kSureMargin)),
        sureBelow_(observedStatistic * (1 - kSureMargin)) {}

  // For a fixed j the exact statistic N (j nB - nA k)^2 / (nA nB (j + k) (N - j - k)) is below a
  // level c exactly where the convex quadratic N (j nB - nA k)^2 - c nA nB (j + k)(N - j - k) is
  // negative: one run of k around k* = j nB / nA, where the statistic is 0. On each side of k*
  // the statistic is monotone, so one table far enough above the observed statistic settles
  // every table further out, and one far enough below settles every table further in. The
  // quadratic's roots predict where to look; only tables near the ends are evaluated.
  void judgeRow(std::uint32_t j, LessExtremeCounts& less) const {
    less.scattered.clear();
    const std::int64_t nA = totalA_;
    const std::int64_t nB = totalB_;
    // Tables without any occurrence or without any non-occurrence get a fixed statistic and lie
    // outside the run; they are judged on their own.
    std::int64_t lowestK = 0;
    std::int64_t highestK = nB;
    if (j == 0) {
      lowestK = 1;
      if (isLess(0, 0)) less.scattered.push_back(0);
    }
    if (j == totalA_) {
      highestK = nB - 1;
      if (isLess(j, nB)) less.scattered.push_back(nB);
    }
    const std::int64_t split =
        std::clamp<std::int64_t>(static_cast<std::int64_t>(j) * nB / nA + 1, lowestK, highestK + 1);

    long double lowRoot = 0;
    long double highRoot = 0;
    quadraticRoots(j, lowRoot, highRoot);

    // Below the split the statistic falls as k grows; from the split on it rises.
    less.firstLess = split;
    if (lowestK < split) {
      const std::int64_t start = clampedStart(std::ceil(lowRoot), lowestK, split - 1);
      less.firstLess =
          lowestK + walkSide(j, lowestK, +1, split - lowestK, start - lowestK, less.scattered);
    }
    less.lastLess = split - 1;
    if (split <= highestK) {
      const std::int64_t start = clampedStart(std::floor(highRoot), split, highestK);
      less.lastLess = highestK - walkSide(j, highestK, -1, highestK - split + 1, highestK - start,
                                          less.scattered);
    }
  }

 private:
  bool isLess(std::int64_t j, std::int64_t k) const {
    return permutationStatistic(static_cast<std::uint32_t>(j), totalA_,
                                static_cast<std::uint32_t>(k), totalB_) < observed_;
  }

  Verdict verdict(std::int64_t j, std::int64_t k) const {
    const double statistic = permutationStatistic(static_cast<std::uint32_t>(j), totalA_,
                                                  static_cast<std::uint32_t>(k), totalB_);
    if (statistic > sureAbove_) return Verdict::kSurelyExtreme;
    if (statistic < sureBelow_) return Verdict::kSurelyLess;
    return Verdict::kUnsure;
  }

  // With k = k* + d, the quadratic reads (N nA^2 + c) d^2 - c (N - 2 t) d - c t (N - t), where
  // t = j N / nA and c = observed nA nB; both roots are real since t lies in [0, N].
  void quadraticRoots(std::uint32_t j, long double& low, long double& high) const {
    const long double nA = totalA_;
    const long double nB = totalB_;
    const long double all = nA + nB;
    const long double centre = static_cast<long double>(j) * nB / nA;
    const long double t = static_cast<long double>(j) * all / nA;
    const long double c = static_cast<long double>(observed_) * nA * nB;
    const long double square = all * nA * nA + c;
    const long double half = c * (all - 2 * t) / 2;
    const long double constant = c * t * (all - t);
    const long double root = std::sqrt(half * half + square * constant);
    low = high = centre;
    // The root of larger size first, the other from the product of the roots, -constant/square.
    if (half >= 0 && half + root > 0) {
      high += (half + root) / square;
      low -= constant / (half + root);
    } else if (half < 0) {
      low += (half - root) / square;
      high += constant / (root - half);
    }
  }

  static std::int64_t clampedStart(long double position, std::int64_t lowest,
                                   std::int64_t highest) {
    if (!(position > static_cast<long double>(lowest))) return lowest;
    if (!(position < static_cast<long double>(highest))) return highest;
    return static_cast<std::int64_t>(position);
  }

  // One side of the run, in steps s = 0 .. length - 1 from its outer end `outer` towards k*
  // (k = outer + direction * s); along it the exact statistic does not rise. Returns the first
  // step from which every table is surely less extreme (length when none is), after adding the
  // less extreme tables between the last surely extreme step and that step to `scattered`.
  std::int64_t walkSide(std::uint32_t j, std::int64_t outer, std::int64_t direction,
                        std::int64_t length, std::int64_t start,
                        std::vector<std::int64_t>& scattered) const {
    std::int64_t lastExtreme = -1;
    std::int64_t firstLess = length;
    for (std::int64_t s = start; s >= 0; --s) {
      const Verdict v = verdict(j, outer + direction * s);
      if (v == Verdict::kSurelyExtreme) {
        lastExtreme = s;
        break;
      }
      if (v == Verdict::kSurelyLess) firstLess = s;
    }
    if (firstLess == length) {
      for (std::int64_t s = start + 1; s < length; ++s) {
        const Verdict v = verdict(j, outer + direction * s);
        if (v == Verdict::kSurelyLess) {
          firstLess = s;
          break;
        }
        if (v == Verdict::kSurelyExtreme) lastExtreme = s;
      }
    }
    for (std::int64_t s = lastExtreme + 1; s < firstLess; ++s) {
      if (isLess(j, outer + direction * s)) scattered.push_back(outer + direction * s);
    }
    return firstLess;
  }

  std::uint32_t totalA_;
  std::uint32_t totalB_;
  double observed_;
  double sureAbove_;
  double sureBelow_;
};

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

  const RowJudge judge(nA, nB, observedStatistic);
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
    judge.judgeRow(j, less);
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
