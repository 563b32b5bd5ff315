#include "stats/permutation_count.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "stats/arrangement_shares.h"
#include "stats/permutation.h"
#include "stats/permutation_rows.h"

namespace brevox {

namespace {

using boost::multiprecision::cpp_int;

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

// Row j's side below its least extreme count, as judgeLowSideOfRow finds it: the first less
// extreme count moves smoothly from row to row (by about nB / nA along the diagonal), so after
// the walk's first row each walk starts where the last two rows point.
void judgeFollowingRow(const RowMeasure& measure, std::uint32_t j, bool firstRow,
                       std::int64_t& movePerRow, LessExtremeCounts& less) {
  if (firstRow) {
    judgeLowSideOfRow(measure, j, less);
    return;
  }
  const std::int64_t before = less.firstLess;
  judgeLowSideOfRowFrom(measure, j, before + movePerRow, less);
  movePerRow = less.firstLess - before;
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
  std::int64_t movePerRow = nB / nA;
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
    judgeFollowingRow(measure, j, j == first, movePerRow, less);
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
    // The clock is read once every few dots: on fast tests reading it for each dot cost more
    // than the dots themselves.
    constexpr std::uint64_t kDotsPerClock = 8;
    if ((dots.written - count) / kDotsPerClock == dots.written / kDotsPerClock) continue;
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
