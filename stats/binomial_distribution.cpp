#include "stats/binomial_distribution.h"

#include <algorithm>
#include <boost/math/distributions/binomial.hpp>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "stats/exact_ties.h"
#include "stats/printed_digits.h"

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

}  // namespace

double libraryDensity(const BinomialShape& shape, std::uint32_t count) {
  const Distribution distribution(static_cast<double>(shape.trials), shape.successProbability);
  return boost::math::pdf(distribution, static_cast<double>(count));
}

double libraryCumulative(const BinomialShape& shape, std::uint32_t count) {
  const Distribution distribution(static_cast<double>(shape.trials), shape.successProbability);
  return boost::math::cdf(distribution, static_cast<double>(count));
}

namespace {

// The first of the counts whose densities the estimates cannot tell from the one at `best`, going
// down (step -1) or up (step +1).
std::uint32_t edgeOfTies(const BinomialShape& shape, std::uint32_t best, int step) {
  const long double tolerance = shape.tolerance;
  std::uint32_t count = best;
  long double relative = 1;
  if (step < 0) {
    for (; count > 0; --count) {
      relative *= downRatio(shape, count);
      if (relative * (1 + tolerance) < 1 - tolerance) break;
    }
  } else {
    for (; count < shape.trials; ++count) {
      relative *= upRatio(shape, count);
      if (relative * (1 + tolerance) < 1 - tolerance) break;
    }
  }
  return count;
}

// The mode and its density, the anchor and its density.
void findMode(BinomialShape& shape) {
  const std::uint32_t n = shape.trials;
  const double p = shape.successProbability;
  // The most probable count by the densities' ratios, then the library's densities of the
  // counts that the estimates cannot tell from it, and of both ends.
  std::uint32_t best = static_cast<std::uint32_t>(std::min<long double>(
      std::floor((static_cast<long double>(n) + 1) * p), static_cast<long double>(n)));
  while (best < n && upRatio(shape, best) > 1) ++best;
  while (best > 0 && downRatio(shape, best) > 1) --best;
  const std::uint32_t low = edgeOfTies(shape, best, -1);
  const std::uint32_t high = edgeOfTies(shape, best, +1);
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
  for (std::uint32_t count = low; count <= high; ++count) consider(count);
  // The library's densities at no success and at all successes, (1 - p)^n and p^n, may err by up
  // to n units of 2^-53: they are asked only where they could reach the greatest density, which
  // far from them they never do. No success comes first, and keeps the mode where it ties.
  auto reaches = [&](long double logDensity) {
    const long double bound = std::exp(logDensity) * (1 + static_cast<long double>(n) * 0x1p-50L);
    return bound * (1 + 1e-9L) >= bestDensity;
  };
  if (low > 0 && reaches(n * std::log1p(-static_cast<long double>(p)))) {
    const double density = boost::math::pdf(distribution, 0.0);
    if (density >= bestDensity) {
      bestDensity = density;
      shape.mode = 0;
    }
  }
  if (high < n && reaches(n * std::log(static_cast<long double>(p)))) consider(n);
  shape.modeDensity = bestDensity;

  shape.anchor = n >= 2 ? std::clamp<std::uint32_t>(shape.mode, 1, n - 1) : shape.mode;
  shape.anchorDensity = shape.anchor == shape.mode
                            ? bestDensity
                            : boost::math::pdf(distribution, static_cast<double>(shape.anchor));
}

// Walks out from the anchor until the densities, and every tail beyond them, vanish. Past the
// mode the ratio of neighbours only falls, so the tail is bounded by a geometric series. Where
// `relatives` is given, it receives the density of every count from `first` to `last` relative to
// the anchor's, as the walk carries it.
void findReach(BinomialShape& shape, std::vector<long double>* relatives) {
  // The densities are written by count into room that only grows, and the anchor's density is
  // held apart: no store into the walk's record can then reach what the walk reads.
  if (relatives && relatives->size() <= shape.trials) relatives->resize(shape.trials + 1);
  long double* const out = relatives ? relatives->data() : nullptr;
  const long double anchorDensity = shape.anchorDensity;
  long double relative = 1;
  std::uint32_t j = shape.anchor;
  for (; j > 0; --j) {
    if (out) out[j] = relative;
    const long double ratio = downRatio(shape, j);
    if (ratio < 1 && anchorDensity * relative * ratio / (1 - ratio) < kVanishing) break;
    relative *= ratio;
  }
  if (out) out[j] = relative;
  shape.first = j;
  shape.firstRelative = relative;
  relative = 1;
  j = shape.anchor;
  for (; j < shape.trials; ++j) {
    if (out) out[j] = relative;
    const long double ratio = upRatio(shape, j);
    if (ratio < 1 && anchorDensity * relative * ratio / (1 - ratio) < kVanishing) break;
    relative *= ratio;
  }
  if (out) out[j] = relative;
  shape.last = j;
  shape.lastRelative = relative;
}

}  // namespace

BinomialShape binomialShape(std::uint32_t trials, double successProbability,
                            std::vector<long double>* relatives) {
  BinomialShape shape;
  shape.trials = trials;
  shape.successProbability = successProbability;
  shape.tolerance = toleranceFor(trials);
  const double p = successProbability;
  if (trials == 0 || p == 0 || p == 1) {
    const std::uint32_t count = p == 1 ? trials : 0;
    shape.certain = true;
    shape.mode = shape.anchor = shape.first = shape.last = count;
    shape.modeDensity = 1;
    shape.anchorDensity = 1;
    shape.firstRelative = shape.lastRelative = 1;
    if (relatives && relatives->size() <= count) relatives->resize(count + 1);
    if (relatives) (*relatives)[count] = 1;
    return shape;
  }
  findMode(shape);
  findReach(shape, relatives);
  return shape;
}

std::uint32_t exactMode(std::uint32_t trials, std::uint32_t successes, std::uint32_t cases) {
  // The next count is no more probable from the mode on: (trials - i) successes <= (i + 1)
  // failures, both below 2^62, and the left side falls while the right grows.
  const std::uint64_t failures = cases - successes;
  std::uint32_t low = 0;
  std::uint32_t high = trials;
  while (low < high) {
    const std::uint32_t middle = low + (high - low) / 2;
    if (std::uint64_t{trials - middle} * successes <= std::uint64_t{middle + 1} * failures) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  return low;
}

namespace {

// The probability of the count one further from the mode over that of count i, with the success
// probability successes / cases exactly: every factor a whole number below 2^31, the ratio rounded
// once, and a count `steps` from the mode carries two roundings per step.
struct ExactChain {
  std::uint32_t trials;
  std::uint32_t successes;
  std::uint32_t failures;

  long double outwards(std::uint32_t i, int direction) const {
    if (direction > 0) {
      return static_cast<long double>(trials - i) * successes /
             (static_cast<long double>(i + 1) * failures);
    }
    return static_cast<long double>(i) * failures /
           (static_cast<long double>(trials - i + 1) * successes);
  }
};

long double chainError(std::uint32_t steps) {
  return std::ldexp(1.01L, -64) * (2 * static_cast<long double>(steps) + 1);
}

}  // namespace

std::optional<std::uint32_t> farSideStart(const BinomialShape& shape, std::uint32_t successes,
                                          std::uint32_t cases, std::uint32_t mode,
                                          std::uint32_t observed) {
  if (shape.certain || observed < shape.first || observed > shape.last) return std::nullopt;
  const int direction = observed < mode ? 1 : -1;
  // Below the expected count every count is less probable than it.
  if (observed == mode) {
    if (mode == 0 || mode - 1 < shape.first) return std::nullopt;
    return mode - 1;
  }
  const ExactChain chain{shape.trials, successes, cases - successes};
  long double observedRelative = 1;
  std::uint32_t observedSteps = 0;
  for (std::uint32_t i = mode; i != observed; i = direction > 0 ? i - 1 : i + 1) {
    observedRelative *= chain.outwards(i, -direction);
    ++observedSteps;
  }
  long double relative = 1;
  std::uint32_t steps = 0;
  for (std::uint32_t j = mode;;) {
    const long double margin =
        relative * chainError(steps) + observedRelative * chainError(observedSteps);
    if (relative + margin < observedRelative) return j;
    if (!(relative - margin > observedRelative) &&
        compareCounts(shape.trials, successes, cases, j, observed) <= 0) {
      return j;
    }
    if (j == (direction > 0 ? shape.last : shape.first)) return std::nullopt;
    relative *= chain.outwards(j, direction);
    j = direction > 0 ? j + 1 : j - 1;
    ++steps;
  }
}

namespace {

// The six digits of the library's value from bounds on its exact value: its double lies within
// half a unit of double beyond them, or of 2^-1074 below the normal doubles.
bool printedRange(long double low, long double high, SixDigits& digits) {
  const long double grid = std::ldexp(1.0L, -1074);
  low = std::max(0.0L, low * (1 - std::ldexp(1.0L, -52)) - grid);
  high = high * (1 + std::ldexp(1.0L, -52)) + grid;
  return sixDigitsOfRange(low, high, digits);
}

}  // namespace

double belowNormalDensity(const BinomialShape& shape, std::uint32_t count, long double estimate) {
  const long double scale = static_cast<long double>(shape.trials) + 1;
  const auto low = static_cast<double>(estimate * (1 - shape.tolerance) * scale);
  const auto high = static_cast<double>(estimate * (1 + shape.tolerance) * scale);
  if (low != high) return libraryDensity(shape, count);
  return low / static_cast<double>(scale);
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
  row.densityText.size = 0;
  row.cumulativeText.size = 0;
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
    } else if (range.known && printedRange(range.low, range.high, row.densityText)) {
      row.density = static_cast<double>(estimate);
    } else if (range.belowNormal) {
      row.density = belowNormalDensity(shape, i, estimate);
    } else {
      row.density = libraryDensity(shape, i);
    }
    // Below the anchor the sum carries the relative precision of the distribution; from the
    // anchor up the library's distribution is 1 less a tail whose error is relative to it.
    const long double lower = cursor.cumulative;
    const long double width = i < shape.anchor ? 2 * tolerance * lower : 2 * tolerance;
    if (i == shape.trials) {
      row.cumulative = 1;
    } else if (lower - width > 0.99999951L && lower + width < 1.0000004L) {
      // Far above the expected count every value the distribution may take prints 1.
      row.cumulative = static_cast<double>(lower);
      row.cumulativeText.text[0] = '1';
      row.cumulativeText.size = 1;
    } else if (printedRange(lower - width, lower + width, row.cumulativeText)) {
      row.cumulative = static_cast<double>(lower);
    } else if (static_cast<double>(lower - width) == static_cast<double>(lower + width)) {
      // Below the normal doubles the library's distribution, rounded once from long double,
      // is the one double that the whole range rounds to.
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
