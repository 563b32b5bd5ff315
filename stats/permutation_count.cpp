#include "stats/permutation_count.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "stats/arrangement_shares.h"
#include "stats/permutation.h"

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
struct Crossings {
  long double low = 0;
  long double high = 0;
};

Crossings crossings(const RowMeasure& measure, std::uint32_t j) {
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
double lowCrossing(const RowMeasure& measure, std::uint32_t j) {
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
struct RowSides {
  std::int64_t lowestK = 0;   // the first count of the run's sides (the lone tables left out)
  std::int64_t highestK = 0;  // the last
  std::int64_t split = 0;     // below it the statistic falls as k grows, from it on it rises
  long double lowCrossing = 0;
  long double highCrossing = 0;
};

// The counts of row j that form its run, and the split, without the crossings.
RowSides rowRun(const RowMeasure& measure, std::uint32_t j) {
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

RowSides rowSides(const RowMeasure& measure, std::uint32_t j) {
  RowSides sides = rowRun(measure, j);
  const Crossings at = crossings(measure, j);
  sides.lowCrossing = at.low;
  sides.highCrossing = at.high;
  return sides;
}

// The side below the split: sets less.firstLess and adds its scattered less extreme tables, in
// increasing order.
void judgeLowSide(const RowMeasure& measure, std::uint32_t j, const RowSides& sides,
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
RowSides lowSide(const RowMeasure& measure, std::uint32_t j) {
  RowSides sides = rowRun(measure, j);
  sides.lowCrossing = lowCrossing(measure, j);
  return sides;
}

void judgeRow(const RowMeasure& measure, std::uint32_t j, LessExtremeCounts& less) {
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

// With no case at all in one work there is a single row of tables; it is counted directly.
PermutationWeights countSingleRow(const PairComparison& pair, double observedStatistic,
                                  ProgressDots& dots) {
  const std::uint32_t nA = pair.totalA;
  const std::uint32_t nB = pair.totalB;
  PermutationWeights weights;
  bit_set(weights.totalWeight, nA + nB);
  cpp_int coefficient = 1;
  const std::uint32_t length = nA + nB;
  for (std::uint32_t i = 0; i <= length; ++i) {
    const std::uint32_t j = nA == 0 ? 0 : i;
    const std::uint32_t k = nA == 0 ? i : 0;
    if (j % 10 == 0) writeDotsThrough(dots, j);
    const bool observed = j == pair.observedA && k == pair.observedB;
    if (observed || permutationStatistic(j, nA, k, nB) >= observedStatistic) {
      weights.extremeWeight += coefficient;
    }
    coefficient *= length - i;
    coefficient /= i + 1;
  }
  return weights;
}

// Unit roundoff of long double.
const long double kUnit = std::ldexp(1.0L, -64);

// No share of arrangements that matters lies below this: the smallest double is 4.9e-324, and
// what is left out stays far below half of it.
constexpr long double kNegligibleShare = 1e-360L;

// The share of arrangements of `total` cases with at most q total occurrences, q below one half,
// is at most exp(-total D(q)), with the divergence D(q) = q log 2q + (1 - q) log 2(1 - q)
// (Chernoff's bound). Returns a count c such that the arrangements with fewer than c
// occurrences carry at most `negligible` of the share; 0 when none can be left out.
std::uint32_t negligibleCountsBelow(std::uint32_t total, long double negligible) {
  const long double n = total;
  // A hair above the level, so that the rounding of the divergence cannot drop a count too many.
  const long double level = -std::log(negligible) / n * (1 + 1e-12L);
  auto divergenceAbove = [&](std::uint32_t count) {  // D(count / total) >= level
    if (count == 0) return std::log(2.0L) >= level;
    const long double below = (n - 2 * static_cast<long double>(count)) / (2 * n);
    return (0.5L - below) * std::log1p(-2 * below) + (0.5L + below) * std::log1p(2 * below) >=
           level;
  };
  if (!divergenceAbove(0)) return 0;
  std::uint32_t low = 0;           // D(low / total) >= level
  std::uint32_t high = total / 2;  // D(high / total) < level, or the middle
  if (divergenceAbove(high)) return high;
  while (high - low > 1) {
    const std::uint32_t middle = low + (high - low) / 2;
    (divergenceAbove(middle) ? low : high) = middle;
  }
  return low + 1;
}

// The sum over the counts j from `first` to `last` of the first work of share(j) times the share
// of the arrangements of the second work at the extreme tables below the run of row j, added to
// `sum` with an absolute error bound added to `error`.
struct LowSideSum {
  long double sum = 0;
  long double error = 0;
};

void sumLowSides(const RowMeasure& measure, std::uint32_t first, std::uint32_t last,
                 ProgressDots& dots, LowSideSum& result) {
  const std::uint32_t nA = measure.totalA;
  const std::uint32_t nB = measure.totalB;
  ShareCursor sharesB;
  sharesB.total = nB;
  LessExtremeCounts less;
  BoundedValue shareA;
  std::uint32_t stepsSinceShare = 0;
  for (std::uint32_t j = first; j <= last; ++j) {
    writeDotsThrough(dots, j);
    // A share that is 0 in long double is taken afresh until it is not: the ratios cannot lift
    // it.
    if (j == first || ++stepsSinceShare == 4096 || shareA.value == 0) {
      shareA = arrangementShare(nA, j);
      stepsSinceShare = 0;
    } else {
      const long double ratio = static_cast<long double>(nA - j + 1) / j;
      shareA.value *= ratio;
      shareA.error = shareA.error * ratio + 3 * kUnit * shareA.value;
    }
    less.scattered.clear();
    judgeLowSide(measure, j, lowSide(measure, j), less);
    // Every count below the first less extreme one is extreme; between it and the run, the
    // counts that are not scattered less extreme ones.
    const std::int64_t tailEnd =
        less.scattered.empty() ? less.firstLess : std::min(less.firstLess, less.scattered.front());
    BoundedValue extreme = moveSharesBelow(sharesB, tailEnd);
    if (tailEnd < less.firstLess) {
      BoundedValue share = sharesB.at;
      std::size_t next = 0;
      for (std::int64_t k = tailEnd; k < less.firstLess; ++k) {
        if (next < less.scattered.size() && less.scattered[next] == k) {
          ++next;
        } else {
          extreme.value += share.value;
          extreme.error += share.error + kUnit * extreme.value;
        }
        if (share.value == 0) {
          share = arrangementShare(nB, static_cast<std::uint32_t>(k + 1));
          continue;
        }
        const long double ratio =
            static_cast<long double>(nB - k) / static_cast<long double>(k + 1);
        share.value *= ratio;
        share.error = share.error * ratio + 3 * kUnit * share.value;
      }
    }
    const long double term = shareA.value * extreme.value;
    result.sum += term;
    result.error += shareA.error * extreme.value + extreme.error * shareA.value +
                    shareA.error * extreme.error + kUnit * (term + result.sum);
  }
}

}  // namespace

ProgressDots progressDots(std::ostream& out, std::uint32_t totalA) {
  return ProgressDots{out, std::uint64_t{totalA} / 10 + 1, 0, std::chrono::steady_clock::now()};
}

namespace {

void writeDots(ProgressDots& dots, std::uint64_t upTo) {
  static const char kBlock[] =
      "................................................................"
      "................................................................";
  constexpr std::uint64_t kBlockSize = sizeof kBlock - 1;
  while (dots.written < upTo) {
    const std::uint64_t count = std::min(upTo - dots.written, kBlockSize);
    dots.out.write(kBlock, static_cast<std::streamsize>(count));
    dots.written += count;
    const auto now = std::chrono::steady_clock::now();
    if (now - dots.lastFlush >= std::chrono::milliseconds(100)) {
      dots.out.flush();
      dots.lastFlush = now;
    }
  }
}

}  // namespace

void writeDotsThrough(ProgressDots& dots, std::uint32_t count) {
  writeDots(dots, std::min(std::uint64_t{count} / 10 + 1, dots.total));
}

void finishDots(ProgressDots& dots) {
  writeDots(dots, dots.total);
  dots.out.flush();
  dots.lastFlush = std::chrono::steady_clock::now();
}

PermutationWeights countPermutationWeights(const PairComparison& pair, ProgressDots& dots) {
  const std::uint32_t nA = pair.totalA;
  const std::uint32_t nB = pair.totalB;
  const double observedStatistic = permutationStatistic(pair.observedA, nA, pair.observedB, nB);
  if (nA == 0 || nB == 0) return countSingleRow(pair, observedStatistic, dots);

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
    if (j % 10 == 0) writeDotsThrough(dots, j);
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

PermutationWeights countPermutationWeights(const PairComparison& pair, std::ostream& progress) {
  ProgressDots dots = progressDots(progress, pair.totalA);
  PermutationWeights weights = countPermutationWeights(pair, dots);
  finishDots(dots);
  return weights;
}

bool exactCountFeasible(const PairComparison& pair) {
  // The count moves over every count of both works with exact integers of N bits: 20,000 cases
  // per work take 0.7 s, 50,000 take 8 s.
  const double cases = static_cast<double>(pair.totalA) + pair.totalB + 2;
  return cases * (cases + 64) <= 4e9;
}

PermutationShare sumPermutationShares(const PairComparison& pair, ProgressDots& dots) {
  const std::uint32_t nA = pair.totalA;
  const std::uint32_t nB = pair.totalB;
  const double observedStatistic = permutationStatistic(pair.observedA, nA, pair.observedB, nB);
  const RowMeasure measure = rowMeasure(nA, nB, observedStatistic);

  // Turning every table (j, k) into (nA - j, nB - k) exchanges occurrences and non-occurrences;
  // the statistic's two products stay the same integers, so both tables are judged alike and have
  // as many arrangements. The tables below the diagonal k nA = j nB thus carry as many extreme
  // arrangements as those above it. On the diagonal the statistic is 0, which is never extreme
  // here, except for the two tables without any occurrence or any non-occurrence, whose statistic
  // is 1.
  //
  // Only the counts j whose share of the first work's arrangements is not negligible beside the
  // result are visited. The first guess of the result is the chi-square tail of the observed
  // statistic; when the sum falls far below it, the window is widened once, to the sum found.
  const long double guess = std::erfc(std::sqrt(static_cast<long double>(observedStatistic) / 2));
  long double negligible = std::max(guess * 1e-17L, kNegligibleShare);
  // Each row's term is at most share(j), so leaving out the counts below `dropped` and above
  // nA - dropped, each end holding at most half of `negligible` of the first work's
  // arrangements, leaves out at most `negligible` of the sum.
  std::uint32_t dropped = negligibleCountsBelow(nA, negligible / 2);
  const std::uint32_t first = std::max<std::uint32_t>(dropped, 1);
  const std::uint32_t last = nA - dropped;
  LowSideSum low;
  sumLowSides(measure, first, last, dots, low);
  if (dropped > 0 && negligible > 1e-16L * low.sum && negligible > kNegligibleShare) {
    negligible = std::max(low.sum * 1e-17L, kNegligibleShare);
    dropped = std::min(dropped, negligibleCountsBelow(nA, negligible / 2));
    if (std::max<std::uint32_t>(dropped, 1) < first) {
      sumLowSides(measure, std::max<std::uint32_t>(dropped, 1), first - 1, dots, low);
    }
    if (last < nA - dropped) sumLowSides(measure, last + 1, nA - dropped, dots, low);
  }
  const long double leftOut = dropped > 0 ? negligible : 0;

  // Error bound. Every share of arrangements comes from Loader's saddle-point form within
  // 200 units of 2^-64 times its logarithm plus 2e-16, or from a neighbour within 4096 steps of
  // 3 units each; every sum adds positive terms, at most one unit of the running sum each. Each
  // bound is carried along with its value, so `error` bounds the distance from the exact quotient
  // of the two weights, including what the window leaves out. For shares of 1e-300 and above
  // this comes to at most 1e-14 of the result, far inside 1e-12.
  PermutationShare share;
  share.value = 2 * low.sum;
  share.error = 2 * (low.error + leftOut);
  if (observedStatistic <= 1.0) {
    const std::uint32_t all = nA + nB;
    if (all < 16000) {
      share.value += std::ldexp(1.0L, 1 - static_cast<int>(all));
    } else {
      share.error += std::ldexp(1.0L, -15000);
    }
  }
  share.error += share.value * 1e-30L;
  return share;
}

}  // namespace brevox
