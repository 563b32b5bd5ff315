#include "stats/binomial.h"

#include <algorithm>
#include <array>
#include <boost/math/distributions/binomial.hpp>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "stats/printed_digits.h"

namespace brevox {

namespace {

using Distribution = boost::math::binomial_distribution<double>;

// Below this the right tail, formed as 1 less the distribution, would hold fewer than ten of its
// digits: it is taken from the complementary distribution instead.
constexpr double kSmallTail = 1e-6;

// The doubles the library may return for the distribution at a count, from the sum of the
// densities up to it (below the anchor) or from the sum above it (from the anchor up), whichever
// is small enough to carry its relative precision.
struct CumulativeRange {
  double low;
  double high;
};

CumulativeRange rangeFromLowerSum(const BinomialShape& shape, long double lower) {
  const long double width = 2 * shape.tolerance * lower;
  return {static_cast<double>(lower - width), static_cast<double>(lower + width)};
}

CumulativeRange rangeFromUpperSum(const BinomialShape& shape, long double upper) {
  // The long double subtraction from 1 rounds by at most 2^-65.
  const long double slack = std::ldexp(1.0L, -62);
  const long double width = 2 * shape.tolerance * upper;
  return {static_cast<double>(1 - (upper + width) - slack),
          static_cast<double>(1 - (upper - width) + slack)};
}

// Visits the counts first .. to upward with their estimated density and the sum of the
// densities up to and including them, while `visit` returns true.
template <typename Visit>
void sweepUp(const BinomialShape& shape, std::uint32_t to, Visit visit) {
  long double relative = shape.firstRelative;
  long double lower = 0;
  for (std::uint32_t j = shape.first; j <= to; ++j) {
    if (j == shape.anchor) relative = 1;
    const long double estimate = shape.anchorDensity * relative;
    lower += estimate;
    if (!visit(j, estimate, lower) || j == to) return;
    relative *= upRatio(shape, j);
  }
}

// Visits the counts last .. to downward with their estimated density and the sum of the
// densities above them, while `visit` returns true.
template <typename Visit>
void sweepDown(const BinomialShape& shape, std::uint32_t to, Visit visit) {
  long double relative = shape.lastRelative;
  long double upper = 0;
  for (std::uint32_t j = shape.last; j >= to; --j) {
    if (j == shape.anchor) relative = 1;
    const long double estimate = shape.anchorDensity * relative;
    if (!visit(j, estimate, upper) || j == to) return;
    upper += estimate;
    relative *= downRatio(shape, j);
  }
}

// The same visits from the densities that the shape's walk carried out from the anchor
// (`relatives`, by count from `first` to `last`), with no division per count. Those densities lie
// as near the library's as the sweeps' own, and the limits are decided on ranges as wide as the
// tolerance, or by the library's distribution where those cannot tell, so the limits come out the
// same whichever densities they are summed from.
struct Reach {
  const BinomialShape& shape;
  const std::vector<long double>& relatives;
};

template <typename Visit>
void reachUp(const Reach& reach, std::uint32_t from, std::uint32_t to, Visit visit) {
  const BinomialShape& shape = reach.shape;
  long double lower = 0;
  for (std::uint32_t j = from; j <= to; ++j) {
    const long double estimate = shape.anchorDensity * reach.relatives[j];
    lower += estimate;
    if (!visit(j, estimate, lower) || j == to) return;
  }
}

template <typename Visit>
void reachDown(const Reach& reach, std::uint32_t from, std::uint32_t to, Visit visit) {
  const BinomialShape& shape = reach.shape;
  long double upper = 0;
  for (std::uint32_t j = from; j >= to; --j) {
    const long double estimate = shape.anchorDensity * reach.relatives[j];
    if (!visit(j, estimate, upper) || j == to) return;
    upper += estimate;
  }
}

// The threshold and half of it: the single-tail and the double-tail limits are searched together.
using Shares = std::array<double, 2>;
using Limits = std::array<std::uint32_t, 2>;

// The stretch of counts whose densities can move a limit: the limits' sums start from the counts
// of `first` and `last` only to find where a tail reaches a share, and counts far out in the tails
// add nothing a decision can see. Every density left out lies below share tolerance 2^-10 /
// (trials + 1), so the tail left out is below 2^-10 of the tolerance of the sums at a share: the
// sums' ranges, as wide as the tolerance and holding the library's value with thirty times room,
// decide every count as they did, and a range that cannot tell still asks the library. Only for
// shares of at most one half, which no count of that far tail reaches.
struct Stretch {
  std::uint32_t from;  // the first count the upward sums take
  std::uint32_t to;    // the last count the downward sums take
};

Stretch stretchThatMatters(const Reach& reach, const Shares& shares) {
  const BinomialShape& shape = reach.shape;
  Stretch stretch{shape.first, shape.last};
  const double least = std::min(shares[0], shares[1]);
  if (!(least > 0 && std::max(shares[0], shares[1]) <= 0.5)) return stretch;
  const long double cut = static_cast<long double>(least) * shape.tolerance * 0x1p-10L /
                          (static_cast<long double>(shape.trials) + 1);
  auto matters = [&](std::uint32_t j) { return shape.anchorDensity * reach.relatives[j] >= cut; };
  // The densities rise from `first` to the expected count and fall from it to `last`.
  const std::uint32_t peak = std::clamp(shape.mode, shape.first, shape.last);
  std::uint32_t low = shape.first;
  std::uint32_t high = peak;
  while (low < high) {
    const std::uint32_t middle = low + (high - low) / 2;
    if (matters(middle)) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  stretch.from = low;
  low = peak;
  high = shape.last;
  while (low < high) {
    const std::uint32_t middle = low + (high - low + 1) / 2;
    if (matters(middle)) {
      low = middle;
    } else {
      high = middle - 1;
    }
  }
  stretch.to = low;
  return stretch;
}

// The search of both shares' limits: the limits found so far and the shares still searched.
struct LimitSearch {
  Limits limits;
  std::array<bool, 2> open{true, true};
};

bool anyOpen(const LimitSearch& search) { return search.open[0] || search.open[1]; }

void closeShare(LimitSearch& search, std::size_t s, std::uint32_t limit) {
  search.limits[s] = limit;
  search.open[s] = false;
}

// Where the tail grows along the sweep, the first count that reaches an open share gives its
// limit. Returns whether a share is still open.
template <typename Reaches>
bool closeReachedShares(LimitSearch& search, std::uint32_t j, std::uint32_t limitOffset,
                        Reaches reaches) {
  for (std::size_t s = 0; s < 2; ++s) {
    if (search.open[s] && reaches(j, s) > 0) closeShare(search, s, j + limitOffset);
  }
  return anyOpen(search);
}

// Where the tail falls along the sweep, the last count that reaches an open share gives its
// limit: `found` keeps the latest one. Returns whether an open share can still be reached.
template <typename Reaches>
bool noteReachedShares(const LimitSearch& search, Limits& found, std::uint32_t j, Reaches reaches) {
  bool reachable = false;
  for (std::size_t s = 0; s < 2; ++s) {
    if (!search.open[s]) continue;
    const int reached = reaches(j, s);
    if (reached > 0) found[s] = j;
    reachable = reachable || reached >= 0;
  }
  return reachable;
}

void closeFoundShares(LimitSearch& search, const Limits& found, std::uint32_t none,
                      std::uint32_t limitOffset) {
  for (std::size_t s = 0; s < 2; ++s) {
    if (search.open[s] && found[s] != none) closeShare(search, s, found[s] + limitOffset);
  }
}

// For each share, the smallest count j below the number of trials whose distribution reaches the
// share, or the number of trials when none does: the upward search of the table-by-table test.
Limits lowerLimits(const Reach& reach, const Shares& shares) {
  const BinomialShape& shape = reach.shape;
  const std::uint32_t n = shape.trials;
  if (n == 0) return {0, 0};
  LimitSearch search{{n, n}};
  // Below `first` the distribution is 0.
  for (std::size_t s = 0; s < 2; ++s) {
    if (shape.first > 0 && 0.0 >= shares[s]) closeShare(search, s, 0);
  }
  const std::uint32_t top = std::min(shape.last, n - 1);
  // Whether the library's distribution reaches the share: 1 surely, -1 surely not, else asked.
  auto reachesFrom = [&](CumulativeRange range) {
    return [&shape, &shares, range](std::uint32_t j, std::size_t s) {
      if (range.low >= shares[s]) return 1;
      if (range.high < shares[s]) return -1;
      return libraryCumulative(shape, j) >= shares[s] ? 1 : 0;
    };
  };
  const Stretch stretch = stretchThatMatters(reach, shares);
  if (shape.first <= top && shape.first < shape.anchor && anyOpen(search)) {
    reachUp(reach, stretch.from, std::min(shape.anchor - 1, top),
            [&](std::uint32_t j, long double, long double lower) {
              return closeReachedShares(search, j, 0, reachesFrom(rangeFromLowerSum(shape, lower)));
            });
  }
  if (shape.anchor <= top && anyOpen(search)) {
    // Downward the distribution falls, so the search ends where no open share can be reached.
    Limits found{n, n};
    reachDown(
        reach, stretch.to, shape.anchor, [&](std::uint32_t j, long double, long double upper) {
          if (j > top) return true;
          return noteReachedShares(search, found, j, reachesFrom(rangeFromUpperSum(shape, upper)));
        });
    closeFoundShares(search, found, n, 0);
  }
  // Above `last` the distribution is 1.
  for (std::size_t s = 0; s < 2; ++s) {
    if (search.open[s] && shape.last < n - 1 && 1.0 >= shares[s]) {
      search.limits[s] = shape.last + 1;
    }
  }
  return search.limits;
}

// For each share, one more than the largest count j below the number of trials whose upper
// tail, taken as 1 - P(X <= j), reaches the share, or 0 when none does: the downward search of
// the table-by-table test.
Limits upperLimits(const Reach& reach, const Shares& shares) {
  const BinomialShape& shape = reach.shape;
  const std::uint32_t n = shape.trials;
  if (n == 0) return {0, 0};
  LimitSearch search{{0, 0}};
  // Above `last` the distribution is 1.
  for (std::size_t s = 0; s < 2; ++s) {
    if (shape.last < n - 1 && 0.0 >= shares[s]) closeShare(search, s, n);
  }
  const std::uint32_t top = std::min(shape.last, n - 1);
  auto reachesFrom = [&](CumulativeRange range) {
    return [&shape, &shares, range](std::uint32_t j, std::size_t s) {
      if (1 - range.high >= shares[s]) return 1;
      if (1 - range.low < shares[s]) return -1;
      return 1 - libraryCumulative(shape, j) >= shares[s] ? 1 : 0;
    };
  };
  const Stretch stretch = stretchThatMatters(reach, shares);
  if (shape.first <= top && shape.anchor <= top && anyOpen(search)) {
    reachDown(
        reach, stretch.to, shape.anchor, [&](std::uint32_t j, long double, long double upper) {
          if (j > top) return true;
          return closeReachedShares(search, j, 1, reachesFrom(rangeFromUpperSum(shape, upper)));
        });
  }
  if (shape.first <= top && shape.first < shape.anchor && anyOpen(search)) {
    // Upward the upper tail falls, so the search ends where no open share can be reached.
    Limits found{n, n};
    reachUp(reach, stretch.from, std::min(shape.anchor - 1, top),
            [&](std::uint32_t j, long double, long double lower) {
              return noteReachedShares(search, found, j,
                                       reachesFrom(rangeFromLowerSum(shape, lower)));
            });
    closeFoundShares(search, found, n, 1);
  }
  // Below `first` the distribution is 0.
  for (std::size_t s = 0; s < 2; ++s) {
    if (search.open[s] && shape.first > 0 && 1.0 >= shares[s]) search.limits[s] = shape.first;
  }
  return search.limits;
}

// The densities on the far side of the expected count from its far end in to `start`, every one
// of them no more probable than the observed one, in the order of the table-by-table test: from
// the last count down while the observed count is left of the expected one, else from count 0
// up. Returns the sum of the estimates, and of the library's densities where the estimate cannot
// stand for it (at the ends, and below the normal doubles), and how many were added.
struct FarSide {
  long double sum = 0;
  std::uint32_t added = 0;
};

FarSide farSide(const BinomialShape& shape, bool up, std::uint32_t start) {
  FarSide far;
  auto add = [&](std::uint32_t j, long double estimate, long double) {
    const DensityRange range = densityRange(shape, j, estimate);
    if (!range.known) {
      far.sum += libraryDensity(shape, j);
    } else {
      far.sum += range.belowNormal ? belowNormalDensity(shape, j, estimate) : estimate;
    }
    ++far.added;
    return true;
  };
  if (up) {
    sweepDown(shape, std::max(shape.first, start), add);
  } else {
    sweepUp(shape, std::min(shape.last, start), add);
  }
  return far;
}

// The same sum with the library's density of every count, added in double in the same order.
double libraryFarSide(const BinomialShape& shape, bool up, std::uint32_t start, double sum) {
  if (up) {
    for (std::uint32_t j = shape.last; j >= std::max(shape.first, start); --j) {
      sum += libraryDensity(shape, j);
      if (j == 0) break;
    }
  } else {
    for (std::uint32_t j = shape.first; j <= std::min(shape.last, start); ++j) {
      sum += libraryDensity(shape, j);
      if (j == shape.trials) break;
    }
  }
  return sum;
}

// The double tail: the observed side's tail `start`, plus the counts on the far side of the
// expected count that are no more probable than the observed one.
double doubleTail(const BinomialShape& shape, const PairComparison& pair, std::uint32_t mode,
                  double start, double density) {
  const std::uint32_t k = pair.observedA;
  const std::optional<std::uint32_t> farStart =
      farSideStart(shape, pair.observedB, pair.totalB, mode, k);
  if (!farStart) return start;
  const bool up = k < mode;
  const FarSide far = farSide(shape, up, *farStart);
  // The table-by-table test adds in double, each addition rounding by half a unit of the sum at
  // most; where the sum or the mid-p could print other digits than that test's, it is formed as
  // that test forms it.
  const long double total = start + far.sum;
  const long double error = shape.tolerance * far.sum + (far.added + 2) * std::ldexp(total, -53);
  const long double halfObserved = 0.5L * density;
  const long double midSlack = std::ldexp(total, -52);
  if (printsAlike(total - error, total + error) &&
      printsAlike(total - error - halfObserved - midSlack,
                  total + error - halfObserved + midSlack)) {
    return static_cast<double>(total);
  }
  return libraryFarSide(shape, up, *farStart, start);
}

}  // namespace

BinomialResult binomialTest(const PairComparison& pair, double threshold) {
  BinomialResult result;
  const std::uint32_t n = pair.totalA;
  const std::uint32_t k = pair.observedA;
  const double p = static_cast<double>(pair.observedB) / static_cast<double>(pair.totalB);
  const Distribution distribution(static_cast<double>(n), p);
  thread_local std::vector<long double> relatives;
  const BinomialShape shape = binomialShape(n, p, &relatives);
  const Reach reach{shape, relatives};

  const double density = boost::math::pdf(distribution, static_cast<double>(k));
  const double cumulative = boost::math::cdf(distribution, static_cast<double>(k));
  // The expected count is decided on the exact success probability: where two counts are equally
  // probable the library's rounding may prefer the second.
  result.mode = exactMode(n, pair.observedB, pair.totalB);
  result.observed = k;
  result.successProbability = p;
  result.observedDensity = density;
  result.modeDensity =
      result.mode == shape.mode ? shape.modeDensity : libraryDensity(shape, result.mode);
  result.threshold = threshold;

  const double halfThreshold = 0.5 * threshold;
  const Limits lower = lowerLimits(reach, {threshold, halfThreshold});
  const Limits upper = upperLimits(reach, {threshold, halfThreshold});
  result.lowerLimitLeft = lower[0];
  result.significantLeft = k < result.lowerLimitLeft ? 1 : 0;
  result.pLeft = cumulative;
  result.midPLeft = cumulative - 0.5 * density;

  result.upperLimitRight = upper[0];
  result.significantRight = k > result.upperLimitRight ? 1 : 0;
  // 1 less the distribution keeps no digit of a tail below about 1e-16: a small tail is the
  // library's complementary distribution.
  double above = 1 - cumulative;
  if (above + density < kSmallTail) {
    above = boost::math::cdf(boost::math::complement(distribution, static_cast<double>(k)));
  }
  result.pRight = above + density;
  result.midPRight = above + 0.5 * density;

  result.lowerLimitDoubleTail = lower[1];
  result.upperLimitDoubleTail = upper[1];
  result.significantDoubleTail =
      (k < result.lowerLimitDoubleTail || k > result.upperLimitDoubleTail) ? 1 : 0;

  result.pDoubleTail =
      doubleTail(shape, pair, result.mode, k < result.mode ? cumulative : result.pRight, density);
  result.midPDoubleTail = result.pDoubleTail - 0.5 * density;
  return result;
}

}  // namespace brevox
