#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "stats/permutation.h"

// The judgement of a row of tables of the permutation test, kept in a header so that the loops of
// the exact count and of the floating share, which call it once per row over up to a billion rows,
// inline it and keep what does not change from row to row out of the loop.

namespace brevox {

/// The counts k of the second work that are less extreme than the observed table, for one count
/// of the first work: every k of [firstLess, lastLess] plus the single counts in `scattered`.
struct LessExtremeCounts {
  std::int64_t firstLess = 0;
  std::int64_t lastLess = -1;
  std::vector<std::int64_t> scattered;
};

/// What every row of tables is judged against.
struct RowMeasure {
  std::uint32_t totalA = 0;
  std::uint32_t totalB = 0;
  double observed = 0;   // the observed table's statistic
  double sureAbove = 0;  // statistics above this are surely extreme
  double sureBelow = 0;  // statistics below this are surely less extreme
};

// The double statistic is the exact one within a few units in the last place (the two integer
// products and their quotient are each rounded once). So when it lies further than this from the
// observed statistic, relatively, the exact statistic lies on the same side, and so does the
// double statistic of every table whose exact statistic lies further out.
constexpr double kSureMargin = 1e-10;

enum class Verdict { kSurelyExtreme, kUnsure, kSurelyLess };

inline double statistic(const RowMeasure& measure, std::int64_t j, std::int64_t k) {
  return permutationStatistic(static_cast<std::uint32_t>(j), measure.totalA,
                              static_cast<std::uint32_t>(k), measure.totalB);
}

inline bool isLess(const RowMeasure& measure, std::int64_t j, std::int64_t k) {
  return statistic(measure, j, k) < measure.observed;
}

inline Verdict verdict(const RowMeasure& measure, std::int64_t j, std::int64_t k) {
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
struct Crossings {
  long double low = 0;
  long double high = 0;
};

inline Crossings crossings(const RowMeasure& measure, std::uint32_t j) {
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
  Crossings at{centre, centre};
  if (half >= 0 && half + root > 0) {
    at.high += (half + root) / square;
    at.low -= constant / (half + root);
  } else if (half < 0) {
    at.low += (half - root) / square;
    at.high += constant / (root - half);
  }
  return at;
}

// The lower crossing alone, in doubles, which are faster: it only says where the walk starts.
inline double lowCrossing(const RowMeasure& measure, std::uint32_t j) {
  const double nA = measure.totalA;
  const double nB = measure.totalB;
  const double all = nA + nB;
  const double centre = j * nB / nA;
  const double t = j * all / nA;
  const double c = measure.observed * nA * nB;
  const double square = all * nA * nA + c;
  const double half = c * (all - 2 * t) / 2;
  const double constant = c * t * (all - t);
  const double root = std::sqrt(half * half + square * constant);
  if (half < 0) return centre + (half - root) / square;
  return half + root > 0 ? centre - constant / (half + root) : centre;
}

inline std::int64_t clampedStart(long double position, std::int64_t lowest, std::int64_t highest) {
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
inline std::int64_t walkSide(const RowMeasure& measure, std::uint32_t j, std::int64_t outer,
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
struct RowSides {
  std::int64_t lowestK = 0;   // the first count of the run's sides (the lone tables left out)
  std::int64_t highestK = 0;  // the last
  std::int64_t split = 0;     // below it the statistic falls as k grows, from it on it rises
  long double lowCrossing = 0;
  long double highCrossing = 0;
};

// The counts of row j that form its run, and the split, without the crossings.
inline RowSides rowRun(const RowMeasure& measure, std::uint32_t j) {
  const std::int64_t nA = measure.totalA;
  const std::int64_t nB = measure.totalB;
  RowSides sides;
  // Tables without any occurrence or without any non-occurrence get a fixed statistic and lie
  // outside the run; they are judged on their own.
  sides.lowestK = j == 0 ? 1 : 0;
  sides.highestK = j == measure.totalA ? nB - 1 : nB;
  sides.split = std::clamp<std::int64_t>(static_cast<std::int64_t>(j) * nB / nA + 1, sides.lowestK,
                                         sides.highestK + 1);
  return sides;
}

inline RowSides rowSides(const RowMeasure& measure, std::uint32_t j) {
  RowSides sides = rowRun(measure, j);
  const Crossings at = crossings(measure, j);
  sides.lowCrossing = at.low;
  sides.highCrossing = at.high;
  return sides;
}

// The side below the split: sets less.firstLess and adds its scattered less extreme tables, in
// increasing order.
inline void judgeLowSide(const RowMeasure& measure, std::uint32_t j, const RowSides& sides,
                         LessExtremeCounts& less) {
  less.firstLess = sides.split;
  if (sides.lowestK < sides.split) {
    const std::int64_t start =
        clampedStart(std::ceil(sides.lowCrossing), sides.lowestK, sides.split - 1);
    less.firstLess =
        sides.lowestK + walkSide(measure, j, sides.lowestK, +1, sides.split - sides.lowestK,
                                 start - sides.lowestK, less.scattered);
  }
}

// The sides of row j where only the side below the split is judged.
inline RowSides lowSide(const RowMeasure& measure, std::uint32_t j) {
  RowSides sides = rowRun(measure, j);
  sides.lowCrossing = lowCrossing(measure, j);
  return sides;
}

/// The measure of the tables of two works with these totals against the observed statistic.
inline RowMeasure rowMeasure(std::uint32_t totalA, std::uint32_t totalB, double observedStatistic) {
  return {totalA, totalB, observedStatistic, observedStatistic * (1 + kSureMargin),
          observedStatistic * (1 - kSureMargin)};
}

/// The less extreme tables of row j, the tables with j occurrences in the first work: every table
/// is judged by permutationStatistic against the observed one, but only those near the ends of
/// the run of less extreme counts are evaluated.
inline void judgeRow(const RowMeasure& measure, std::uint32_t j, LessExtremeCounts& less) {
  less.scattered.clear();
  const RowSides sides = rowSides(measure, j);
  if (j == 0 && isLess(measure, 0, 0)) less.scattered.push_back(0);
  if (j == measure.totalA && isLess(measure, j, measure.totalB)) {
    less.scattered.push_back(measure.totalB);
  }
  judgeLowSide(measure, j, sides, less);
  less.lastLess = sides.split - 1;
  if (sides.split <= sides.highestK) {
    const std::int64_t start =
        clampedStart(std::floor(sides.highCrossing), sides.split, sides.highestK);
    less.lastLess =
        sides.highestK - walkSide(measure, j, sides.highestK, -1, sides.highestK - sides.split + 1,
                                  sides.highestK - start, less.scattered);
  }
}

/// The same for the side of row j below its least extreme count alone: sets less.firstLess and
/// the scattered less extreme tables there, in increasing order.
inline void judgeLowSideOfRow(const RowMeasure& measure, std::uint32_t j, LessExtremeCounts& less) {
  less.scattered.clear();
  judgeLowSide(measure, j, lowSide(measure, j), less);
}

/// The same with the walk started at `start`, a guess at the first less extreme count such as
/// the one of the row before moved along the diagonal: the walk finds the same counts from any
/// start, and a near one spares the crossing's square root and divisions.
inline void judgeLowSideOfRowFrom(const RowMeasure& measure, std::uint32_t j, std::int64_t start,
                                  LessExtremeCounts& less) {
  less.scattered.clear();
  const RowSides sides = rowRun(measure, j);
  less.firstLess = sides.split;
  if (sides.lowestK < sides.split) {
    start = std::clamp(start, sides.lowestK, sides.split - 1);
    less.firstLess =
        sides.lowestK + walkSide(measure, j, sides.lowestK, +1, sides.split - sides.lowestK,
                                 start - sides.lowestK, less.scattered);
  }
}

}  // namespace brevox
