#include "stats/binomial.h"

#include <algorithm>
#include <array>
#include <boost/math/distributions/binomial.hpp>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

namespace brevox {

namespace {

using Distribution = boost::math::binomial_distribution<double>;

// Densities and tails below this are 0 for the library: half the smallest double is 2^-1075,
// and the library's relative error is far smaller than the 2^25 between them.
const long double kVanishing = std::ldexp(1.0L, -1100);

// The library evaluates in long double and loses about trials * 2^-66 relative to the exact
// densities at half a billion trials (measured up to 7.3e-12 there, 4.7e-13 at 21 million and
// 4e-16 at a few thousand); the densities carried by ratio lose about 2^-64 per count walked.
// This tolerance is 30 to 1000 times wider than the largest difference measured.
long double toleranceFor(std::uint32_t trials) {
  return 1e-12L + 32.0L * static_cast<long double>(trials) * std::ldexp(1.0L, -64);
}

// At no success and at all successes the library raises 1 - p or p to the number of trials in
// double, which loses up to trials * 2^-53 relative; those two counts always take its value.
bool isEnd(const BinomialShape& shape, std::uint32_t count) {
  return count == 0 || count == shape.trials;
}

// f(i + 1) / f(i) and f(i - 1) / f(i). Every factor but p is an exact integer in long double.
long double upRatio(const BinomialShape& shape, std::uint32_t i) {
  const long double p = shape.successProbability;
  return (static_cast<long double>(shape.trials - i) * p) /
         (static_cast<long double>(i + 1) * (1.0L - p));
}

long double downRatio(const BinomialShape& shape, std::uint32_t i) {
  const long double p = shape.successProbability;
  return (static_cast<long double>(i) * (1.0L - p)) /
         (static_cast<long double>(shape.trials - i + 1) * p);
}

constexpr int kLowestPower = -340;
constexpr int kHighestPower = 346;

using PowerTable = std::array<long double, kHighestPower - kLowestPower + 1>;

const PowerTable& powersOfTen() {
  static const PowerTable table = [] {
    PowerTable powers{};
    for (int e = kLowestPower; e <= kHighestPower; ++e) {
      powers[static_cast<std::size_t>(e - kLowestPower)] = std::pow(10.0L, e);
    }
    return powers;
  }();
  return table;
}

long double powerOfTen(const PowerTable& powers, int e) {
  return powers[static_cast<std::size_t>(e - kLowestPower)];
}

// The decimal exponent and the six significant digits a positive normal double prints with.
std::pair<int, std::int64_t> sixDigits(long double value, const PowerTable& powers) {
  // The binary exponent times log10(2), rounded down, is the decimal exponent or one below it.
  const auto rounded = static_cast<double>(value);
  std::uint64_t bits = 0;
  std::memcpy(&bits, &rounded, sizeof bits);
  const int binary = static_cast<int>((bits >> 52) & 0x7ff) - 1023;
  int e = static_cast<int>(std::floor(binary * 0.30102999566398119521));
  while (value >= powerOfTen(powers, e + 1)) ++e;
  while (value < powerOfTen(powers, e)) --e;
  auto digits = static_cast<std::int64_t>(value * powerOfTen(powers, 5 - e) + 0.5L);
  if (digits >= 1000000) {
    digits = 100000;
    ++e;
  }
  return {e, digits};
}

// Whether every double the library may return for a value in [low, high] prints the same six
// significant digits. A value in the range of denormals prints alike only when it rounds to one
// double.
bool printsAlike(long double low, long double high) {
  // Room for rounding to double and for the scaling by powers of ten.
  low -= std::fabs(low) * 1e-15L;
  high += std::fabs(high) * 1e-15L;
  const auto lowDouble = static_cast<double>(low);
  const auto highDouble = static_cast<double>(high);
  if (lowDouble == highDouble) return true;
  if (!(lowDouble >= DBL_MIN && highDouble <= DBL_MAX)) return false;
  // Both print alike when no rounding boundary of the six digits of `low` lies up to `high`.
  const PowerTable& powers = powersOfTen();
  const auto [exponent, digits] = sixDigits(low, powers);
  const long double boundary =
      (static_cast<long double>(digits) + 0.5L) * powerOfTen(powers, exponent - 5);
  return high < boundary;
}

double libraryDensity(const BinomialShape& shape, std::uint32_t count) {
  const Distribution distribution(static_cast<double>(shape.trials), shape.successProbability);
  return boost::math::pdf(distribution, static_cast<double>(count));
}

double libraryCumulative(const BinomialShape& shape, std::uint32_t count) {
  const Distribution distribution(static_cast<double>(shape.trials), shape.successProbability);
  return boost::math::cdf(distribution, static_cast<double>(count));
}

// The range of the library's density at a count whose density is estimated, or unknown. The
// library divides a double of (trials + 1) times the density by trials + 1 in double: where that
// product falls below the normal doubles it loses digits, and below half the smallest denormal
// it is 0.
struct DensityRange {
  bool known;
  long double low;
  long double high;
};

DensityRange densityRange(const BinomialShape& shape, std::uint32_t count, long double estimate) {
  if (isEnd(shape, count)) return {false, 0, 0};
  const long double low = estimate * (1 - shape.tolerance);
  const long double high = estimate * (1 + shape.tolerance);
  const long double scale = static_cast<long double>(shape.trials) + 1;
  if (high * scale < std::ldexp(1.0L, -1075)) return {true, 0, 0};
  if (low * scale < 2 * static_cast<long double>(DBL_MIN)) return {false, 0, 0};
  return {true, low, high};
}

// How the library's density at `count` compares with `bound`: -1 when it is surely greater, 1
// when surely not, 0 when the library must be asked.
int compareDensity(const BinomialShape& shape, std::uint32_t count, long double estimate,
                   double bound) {
  const DensityRange range = densityRange(shape, count, estimate);
  if (!range.known) return 0;
  if (static_cast<double>(range.high) <= bound) return 1;
  if (static_cast<double>(range.low) > bound) return -1;
  return 0;
}

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

// The threshold and half of it: the single-tail and the double-tail limits are searched together.
using Shares = std::array<double, 2>;
using Limits = std::array<std::uint32_t, 2>;

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
Limits lowerLimits(const BinomialShape& shape, const Shares& shares) {
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
  if (shape.first <= top && shape.first < shape.anchor && anyOpen(search)) {
    sweepUp(shape, std::min(shape.anchor - 1, top),
            [&](std::uint32_t j, long double, long double lower) {
              return closeReachedShares(search, j, 0, reachesFrom(rangeFromLowerSum(shape, lower)));
            });
  }
  if (shape.anchor <= top && anyOpen(search)) {
    // Downward the distribution falls, so the search ends where no open share can be reached.
    Limits found{n, n};
    sweepDown(shape, shape.anchor, [&](std::uint32_t j, long double, long double upper) {
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
Limits upperLimits(const BinomialShape& shape, const Shares& shares) {
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
  if (shape.first <= top && shape.anchor <= top && anyOpen(search)) {
    sweepDown(shape, shape.anchor, [&](std::uint32_t j, long double, long double upper) {
      if (j > top) return true;
      return closeReachedShares(search, j, 1, reachesFrom(rangeFromUpperSum(shape, upper)));
    });
  }
  if (shape.first <= top && shape.first < shape.anchor && anyOpen(search)) {
    // Upward the upper tail falls, so the search ends where no open share can be reached.
    Limits found{n, n};
    sweepUp(shape, std::min(shape.anchor - 1, top),
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

// The densities on the far side of the expected count that are no more probable than the
// observed one, added in the order of the table-by-table test: from the last count down while
// the observed count is left of the expected one, else from count 0 up. Returns the sum of the
// estimates and of the library's densities where it was asked, and how many were added.
struct FarSide {
  long double sum = 0;
  std::uint32_t added = 0;
};

FarSide farSide(const BinomialShape& shape, std::uint32_t k, double observedDensity) {
  FarSide far;
  auto add = [&](std::uint32_t j, long double estimate) {
    const int comparison = compareDensity(shape, j, estimate, observedDensity);
    if (comparison < 0) return false;
    if (comparison > 0) {
      far.sum += estimate;
    } else {
      const double density = libraryDensity(shape, j);
      if (observedDensity < density) return false;
      far.sum += density;
    }
    ++far.added;
    return true;
  };
  if (k < shape.mode) {
    if (shape.last > k) {
      sweepDown(
          shape, std::max(shape.first, k + 1),
          [&](std::uint32_t j, long double estimate, long double) { return add(j, estimate); });
    }
  } else if (k > 0 && shape.first < k) {
    sweepUp(shape, std::min(shape.last, k - 1),
            [&](std::uint32_t j, long double estimate, long double) { return add(j, estimate); });
  }
  return far;
}

// The same sum with the library's density of every count, added in double in the same order.
double libraryFarSide(const BinomialShape& shape, std::uint32_t k, double observedDensity,
                      double start) {
  double sum = start;
  if (k < shape.mode) {
    for (std::uint32_t j = shape.last; j > k && j >= shape.first; --j) {
      const double density = libraryDensity(shape, j);
      if (observedDensity < density) break;
      sum += density;
    }
  } else {
    for (std::uint32_t j = shape.first; j < k && j <= shape.last; ++j) {
      const double density = libraryDensity(shape, j);
      if (observedDensity < density) break;
      sum += density;
    }
  }
  return sum;
}

}  // namespace

BinomialShape binomialShape(std::uint32_t trials, double successProbability) {
  BinomialShape shape;
  shape.trials = trials;
  shape.successProbability = successProbability;
  shape.tolerance = toleranceFor(trials);
  const std::uint32_t n = trials;
  const double p = successProbability;
  if (n == 0 || p == 0 || p == 1) {
    const std::uint32_t count = p == 1 ? n : 0;
    shape.certain = true;
    shape.mode = shape.anchor = shape.first = shape.last = count;
    shape.modeDensity = 1;
    shape.anchorDensity = 1;
    shape.firstRelative = shape.lastRelative = 1;
    return shape;
  }

  // The most probable count by the densities' ratios, then the library's densities of the
  // counts that the estimates cannot tell from it, and of both ends.
  std::uint32_t best = static_cast<std::uint32_t>(std::min<long double>(
      std::floor((static_cast<long double>(n) + 1) * p), static_cast<long double>(n)));
  while (best < n && upRatio(shape, best) > 1) ++best;
  while (best > 0 && downRatio(shape, best) > 1) --best;
  const long double tolerance = shape.tolerance;
  std::uint32_t low = best;
  for (long double relative = 1; low > 0; --low) {
    relative *= downRatio(shape, low);
    if (relative * (1 + tolerance) < 1 - tolerance) break;
  }
  std::uint32_t high = best;
  for (long double relative = 1; high < n; ++high) {
    relative *= upRatio(shape, high);
    if (relative * (1 + tolerance) < 1 - tolerance) break;
  }
  const Distribution distribution(static_cast<double>(n), p);
  double bestDensity = 0;
  auto consider = [&](std::uint32_t count) {
    const double density = boost::math::pdf(distribution, static_cast<double>(count));
    // Equally probable counts keep the lower one as the expected count.
    if (density > bestDensity) {
      bestDensity = density;
      shape.mode = count;
    }
  };
  if (low > 0) consider(0);
  for (std::uint32_t count = low; count <= high; ++count) consider(count);
  if (high < n) consider(n);
  shape.modeDensity = bestDensity;

  shape.anchor = n >= 2 ? std::clamp<std::uint32_t>(shape.mode, 1, n - 1) : shape.mode;
  shape.anchorDensity = shape.anchor == shape.mode
                            ? bestDensity
                            : boost::math::pdf(distribution, static_cast<double>(shape.anchor));

  // Walk out from the anchor until the densities, and every tail beyond them, vanish. Past the
  // mode the ratio of neighbours only falls, so the tail is bounded by a geometric series.
  long double relative = 1;
  std::uint32_t j = shape.anchor;
  for (; j > 0; --j) {
    const long double ratio = downRatio(shape, j);
    if (ratio < 1 && shape.anchorDensity * relative * ratio / (1 - ratio) < kVanishing) break;
    relative *= ratio;
  }
  shape.first = j;
  shape.firstRelative = relative;
  relative = 1;
  j = shape.anchor;
  for (; j < n; ++j) {
    const long double ratio = upRatio(shape, j);
    if (ratio < 1 && shape.anchorDensity * relative * ratio / (1 - ratio) < kVanishing) break;
    relative *= ratio;
  }
  shape.last = j;
  shape.lastRelative = relative;
  return shape;
}

BinomialResult binomialTest(const PairComparison& pair, double threshold) {
  BinomialResult result;
  const std::uint32_t n = pair.totalA;
  const std::uint32_t k = pair.observedA;
  const double p = static_cast<double>(pair.observedB) / static_cast<double>(pair.totalB);
  const Distribution distribution(static_cast<double>(n), p);
  const BinomialShape shape = binomialShape(n, p);

  const double density = boost::math::pdf(distribution, static_cast<double>(k));
  const double cumulative = boost::math::cdf(distribution, static_cast<double>(k));
  result.mode = shape.mode;
  result.observed = k;
  result.successProbability = p;
  result.observedDensity = density;
  result.modeDensity = shape.modeDensity;
  result.threshold = threshold;

  const double halfThreshold = 0.5 * threshold;
  const Limits lower = lowerLimits(shape, {threshold, halfThreshold});
  const Limits upper = upperLimits(shape, {threshold, halfThreshold});
  result.lowerLimitLeft = lower[0];
  result.significantLeft = k < result.lowerLimitLeft ? 1 : 0;
  result.pLeft = cumulative;
  result.midPLeft = cumulative - 0.5 * density;

  result.upperLimitRight = upper[0];
  result.significantRight = k > result.upperLimitRight ? 1 : 0;
  result.pRight = (1 - cumulative) + density;
  result.midPRight = (1 - cumulative) + 0.5 * density;

  result.lowerLimitDoubleTail = lower[1];
  result.upperLimitDoubleTail = upper[1];
  result.significantDoubleTail =
      (k < result.lowerLimitDoubleTail || k > result.upperLimitDoubleTail) ? 1 : 0;

  // The observed side's tail, plus the counts on the far side of the expected count that are no
  // more probable than the observed one.
  const double start = k < shape.mode ? cumulative : (1 - cumulative) + density;
  const FarSide far = farSide(shape, k, density);
  result.pDoubleTail = start;
  if (far.added > 0) {
    // The table-by-table test adds in double, each addition rounding by half a unit of the sum
    // at most; where the sum or the mid-p could print other digits than that test's, it is
    // formed as that test forms it.
    const long double total = start + far.sum;
    const long double error = shape.tolerance * far.sum + (far.added + 2) * std::ldexp(total, -53);
    const long double halfObserved = 0.5L * density;
    const long double midSlack = std::ldexp(total, -52);
    if (printsAlike(total - error, total + error) &&
        printsAlike(total - error - halfObserved - midSlack,
                    total + error - halfObserved + midSlack)) {
      result.pDoubleTail = static_cast<double>(total);
    } else {
      result.pDoubleTail = libraryFarSide(shape, k, density, start);
    }
  }
  result.midPDoubleTail = result.pDoubleTail - 0.5 * density;
  return result;
}

BinomialTableCursor startBinomialTable(std::uint32_t trials, double successProbability) {
  BinomialTableCursor cursor;
  cursor.valid = successProbability >= 0 && successProbability <= 1;
  if (!cursor.valid) {
    cursor.shape.trials = trials;
    return cursor;
  }
  cursor.shape = binomialShape(trials, successProbability);
  cursor.relative = cursor.shape.firstRelative;
  return cursor;
}

bool nextBinomialRow(BinomialTableCursor& cursor, BinomialTableRow& row) {
  if (cursor.finished) return false;
  const BinomialShape& shape = cursor.shape;
  const std::uint32_t i = cursor.next;
  row.count = i;
  if (!cursor.valid) {
    row.density = row.cumulative = std::numeric_limits<double>::quiet_NaN();
  } else if (i < shape.first) {
    row.density = 0;
    row.cumulative = 0;
  } else if (i > shape.last) {
    row.density = 0;
    row.cumulative = 1;
  } else {
    if (i == shape.anchor) cursor.relative = 1;
    const long double estimate = shape.anchorDensity * cursor.relative;
    cursor.cumulative += estimate;
    const long double tolerance = shape.tolerance;
    const DensityRange range = densityRange(shape, i, estimate);
    if (range.known && range.high == 0) {
      row.density = 0;
    } else if (range.known && printsAlike(range.low, range.high)) {
      row.density = static_cast<double>(estimate);
    } else {
      row.density = libraryDensity(shape, i);
    }
    // Below the anchor the sum carries the relative precision of the distribution; from the
    // anchor up the library's distribution is 1 less a tail whose error is relative to it.
    const long double lower = cursor.cumulative;
    const long double width = i < shape.anchor ? 2 * tolerance * lower : 2 * tolerance;
    if (i == shape.trials) {
      row.cumulative = 1;
    } else if (printsAlike(lower - width, lower + width)) {
      row.cumulative = static_cast<double>(lower);
    } else {
      row.cumulative = libraryCumulative(shape, i);
    }
    if (i < shape.last) cursor.relative *= upRatio(shape, i);
  }
  if (i == shape.trials) {
    cursor.finished = true;
  } else {
    cursor.next = i + 1;
  }
  return true;
}

}  // namespace brevox
