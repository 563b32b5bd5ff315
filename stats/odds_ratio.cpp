#include "stats/odds_ratio.h"

#include <algorithm>
#include <boost/math/special_functions/erf.hpp>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace brevox {

namespace {

// Tables whose densities, summed over one side of the most probable table, stay below this
// fraction of the sum so far are left out (see restIsNegligible). Each sum below then changes
// by at most twice this fraction of the total, the proportions formed from them by at most
// four times. At a root the expected count has slope Var(X) >= 1/8 in the log odds ratio (the
// mean is an inner count a, and the densities of a - 1 and a + 1 relative to that of a
// multiply to at least 1/16), and the tail P(X >= a) or P(X <= a) has slope at least
// alpha (1 - alpha) (the tail's conditional mean lies at least one count from the rest's). So
// the left-out tables move a root by less than 8e-22 / alpha in the log odds ratio, that is
// less than 1e-12 relative in the odds ratio for every alpha >= 1e-9.
constexpr double kNeglected = 1e-22;

// A root is taken once the last Newton step, or half the bracket, is below this in the log odds
// ratio: the relative precision of the odds ratio.
constexpr double kLogOddsTolerance = 1e-12;

// At these log odds ratios all mass lies on the first or last possible table: the central ratio
// of neighbouring densities is at most 2^64 (about e^44) for 32-bit counts.
constexpr double kLogOddsLimit = 700;

// The tables that share the observed margins: x occurrences in the first work, from `lowest`
// to `highest`.
struct Margins {
  std::int64_t observed;     // a
  std::int64_t casesA;       // nA
  std::int64_t casesB;       // nB
  std::int64_t occurrences;  // a + b
  std::int64_t lowest;
  std::int64_t highest;
};

// Sums over the tables of the noncentral densities, each relative to the most probable table,
// some weighted by the distance d = x - a from the observed count. In double: the tables that
// count lie within 1e-22 of the most probable one, and the sums' rounding moves the roots by a few
// units of double, far within the interval's precision, at a fraction of long double's cost.
struct TableSums {
  double all = 0;
  double atLeast = 0;        // x >= a
  double atMost = 0;         // x <= a
  double offset = 0;         // d
  double offsetAtLeast = 0;  // d, x >= a
  double squares = 0;        // d^2
};

// The central density of x + 1 occurrences over that of x is up(x) / down(x). Both are products
// of two 32-bit counts, exact in the 64 bits of a long double's mantissa.
long double up(const Margins& m, std::int64_t x) {
  return static_cast<long double>(m.casesA - x) * static_cast<long double>(m.occurrences - x);
}

long double down(const Margins& m, std::int64_t x) {
  return static_cast<long double>(x + 1) *
         static_cast<long double>(m.casesB - m.occurrences + x + 1);
}

void addTable(const Margins& m, std::int64_t x, double density, TableSums& sums) {
  const auto d = static_cast<double>(x - m.observed);
  const double weighted = d * density;
  sums.all += density;
  sums.offset += weighted;
  sums.squares += d * weighted;
  if (x >= m.observed) {
    sums.atLeast += density;
    sums.offsetAtLeast += weighted;
  }
  if (x <= m.observed) sums.atMost += density;
}

// The central ratios of neighbouring densities, up(x) / down(x) towards x + 1 and
// down(x - 1) / up(x - 1) towards x - 1, each divided once per pair and then only multiplied by
// the odds ratio of each of Newton's steps. Held for the counts from `first` to `end` - 1, the
// stretch the sums have visited so far, at x - base in buffers kept by the thread from pair to
// pair: only the few tens of standard deviations visited take room, whatever the totals.
struct CentralRatios {
  std::vector<double>& towardsMore;
  std::vector<double>& towardsFewer;
  std::int64_t base = 0;
  std::int64_t first = 0;
  std::int64_t end = 0;
};

// Room in the buffers for the counts from `low` to `high` beside those held, twice what they
// span, so that a stretch growing count by count is moved a few times only.
void makeRoom(CentralRatios& r, std::int64_t low, std::int64_t high) {
  const auto size = static_cast<std::int64_t>(r.towardsMore.size());
  if (low >= r.base && high < r.base + size) return;
  constexpr std::int64_t kLeastSpan = 256;
  const std::int64_t span = std::max(high - low + 1, kLeastSpan);
  const std::int64_t base = low - span / 2;
  std::vector<double> more(static_cast<std::size_t>(2 * span));
  std::vector<double> fewer(more.size());
  const auto from = static_cast<std::size_t>(r.first - r.base);
  const auto to = static_cast<std::size_t>(r.first - base);
  const auto held = static_cast<std::size_t>(r.end - r.first);
  std::copy_n(r.towardsMore.begin() + static_cast<std::ptrdiff_t>(from), held,
              more.begin() + static_cast<std::ptrdiff_t>(to));
  std::copy_n(r.towardsFewer.begin() + static_cast<std::ptrdiff_t>(from), held,
              fewer.begin() + static_cast<std::ptrdiff_t>(to));
  r.towardsMore.swap(more);
  r.towardsFewer.swap(fewer);
  r.base = base;
}

// Makes the ratios of x held, with those of every count between it and the stretch held so far.
void holdRatiosThrough(const Margins& m, CentralRatios& r, std::int64_t x) {
  if (r.first == r.end) {
    // Nothing held yet: the buffers are placed around x.
    r.base = x - static_cast<std::int64_t>(r.towardsMore.size() / 2);
    r.first = r.end = x;
  }
  makeRoom(r, std::min(x, r.first), std::max(x, r.end - 1));
  auto fill = [&](std::int64_t y) {
    const auto i = static_cast<std::size_t>(y - r.base);
    if (y < m.highest) r.towardsMore[i] = static_cast<double>(up(m, y) / down(m, y));
    if (y > m.lowest) r.towardsFewer[i] = static_cast<double>(down(m, y - 1) / up(m, y - 1));
  };
  for (; r.first > x;) fill(--r.first);
  for (; r.end <= x; ++r.end) fill(r.end);
}

double towardsMore(const Margins& m, CentralRatios& r, std::int64_t x) {
  if (x < r.first || x >= r.end) holdRatiosThrough(m, r, x);
  return r.towardsMore[static_cast<std::size_t>(x - r.base)];
}

double towardsFewer(const Margins& m, CentralRatios& r, std::int64_t x) {
  if (x < r.first || x >= r.end) holdRatiosThrough(m, r, x);
  return r.towardsFewer[static_cast<std::size_t>(x - r.base)];
}

// Whether the tables beyond x, on the side where the next density is `ratio` times that of x,
// can be left out. The distribution is log-concave (the ratio of neighbours falls monotonically
// away from the mode), so those densities, weighted by 1 + |x + j - a| (which bounds both the
// plain and the offset sums), add up to at most density (2 + |x - a|) ratio / (1 - ratio)^2.
// The slopes' squared weights are not bounded: they only steer Newton's steps.
bool restIsNegligible(const Margins& m, std::int64_t x, double density, double ratio, double all) {
  if (!(ratio < 1)) return false;
  const double weight = 2 + std::fabs(static_cast<double>(x - m.observed));
  const double gap = 1 - ratio;
  return density * weight * ratio <= kNeglected * all * gap * gap;
}

// Sums outwards from the most probable table, so that no density overflows and the sums stop
// where the rest cannot matter: only a few tens of standard deviations of tables are visited,
// whatever the totals.
TableSums sumTables(const Margins& m, CentralRatios& ratios, double logOdds) {
  const long double odds = std::exp(static_cast<long double>(logOdds));
  const double oddsRatio = std::exp(logOdds);
  const double inverseOdds = std::exp(-logOdds);
  // The mode is the largest count whose density is at least that of the count below it.
  std::int64_t low = m.lowest;
  std::int64_t high = m.highest;
  while (low < high) {
    const std::int64_t middle = low + (high - low + 1) / 2;
    if (odds * up(m, middle - 1) >= down(m, middle - 1)) {
      low = middle;
    } else {
      high = middle - 1;
    }
  }
  const std::int64_t mode = low;

  TableSums sums;
  addTable(m, mode, 1, sums);
  double density = 1;
  for (std::int64_t x = mode; x < m.highest; ++x) {
    const double ratio = oddsRatio * towardsMore(m, ratios, x);
    if (restIsNegligible(m, x, density, ratio, sums.all)) break;
    density *= ratio;
    addTable(m, x + 1, density, sums);
  }
  density = 1;
  for (std::int64_t x = mode; x > m.lowest; --x) {
    const double ratio = inverseOdds * towardsFewer(m, ratios, x);
    if (restIsNegligible(m, x, density, ratio, sums.all)) break;
    density *= ratio;
    addTable(m, x - 1, density, sums);
  }
  return sums;
}

// A function of the log odds ratio and its derivative there.
struct Slope {
  long double value;
  long double derivative;
};

// Within this distance of a root Newton's next error is its curvature over twice its slope times
// the square of the step, and the terms beyond are far smaller. A last step is taken without
// another sum where that error lies below kLastStepError, a few units of double in the odds ratio.
constexpr double kQuadraticReach = 1e-5;
constexpr double kLastStepError = 1e-15;

// The log odds ratio at which `rising`, an increasing function of it, changes sign: Newton's
// steps from `start`, replaced by bisection of the bracket known so far whenever a step would
// leave the bracket or fails to halve the step before the last. The bracket starts at the
// limits, where every function solved here has its sign settled. A step whose error, by the
// curvature that the last two slopes show (ten times over), lies below kLastStepError is the
// last: the root needs no more sums.
template <typename Rising>
double solveLogOdds(const Rising& rising, double start) {
  double lower = -kLogOddsLimit;
  double upper = kLogOddsLimit;
  double t = std::clamp(start, lower, upper);
  double earlierStep = upper - lower;
  double step = earlierStep;
  double earlierT = 0;
  long double earlierDerivative = -1;
  for (int iteration = 0; iteration < 300; ++iteration) {
    const Slope s = rising(t);
    if (s.value == 0) break;
    if (s.value < 0) {
      lower = t;
    } else {
      upper = t;
    }
    const double newtonStep = static_cast<double>(-s.value / s.derivative);
    // A step this small may round to no step at all: it ends the search, not the bracket.
    if (s.derivative > 0 && std::fabs(newtonStep) <= kLogOddsTolerance) return t + newtonStep;
    const double newton = t + newtonStep;
    const bool useNewton = s.derivative > 0 && newton > lower && newton < upper &&
                           std::fabs(2 * newtonStep) <= std::fabs(earlierStep);
    if (useNewton && earlierDerivative > 0 && t != earlierT &&
        std::fabs(newtonStep) <= kQuadraticReach) {
      const long double curvature = (s.derivative - earlierDerivative) / (t - earlierT);
      if (10 * std::fabs(curvature / (2 * s.derivative)) * newtonStep * newtonStep <=
          kLastStepError) {
        return newton;
      }
    }
    earlierT = t;
    earlierDerivative = s.derivative;
    earlierStep = step;
    if (useNewton) {
      step = newtonStep;
      t = newton;
    } else {
      step = (upper - lower) / 2;
      t = lower + step;
      if (step <= kLogOddsTolerance) break;
    }
  }
  return t;
}

// The log odds ratio at which the expected count is the observed one, and the variance of the
// count there, which is the mean's derivative.
struct MeanRoot {
  double logOdds = 0;
  long double variance = 0;
};

MeanRoot solveMeanLogOdds(const Margins& m, CentralRatios& ratios, double start) {
  MeanRoot root;
  const auto meanOffset = [&m, &ratios, &root](double t) {
    const TableSums s = sumTables(m, ratios, t);
    const long double mean = s.offset / s.all;
    root.variance = s.squares / s.all - mean * mean;
    return Slope{mean, root.variance};
  };
  root.logOdds = solveLogOdds(meanOffset, start);
  return root;
}

// The log odds ratios at which the upper tail of the observed count (for the interval's low
// end), or its lower tail (for its high end), is `alpha`, solved on the logarithm of the tail,
// which runs far straighter than the tail itself where that is small. The derivative of a tail's
// probability is its covariance with the count; a tail of 0 (far beyond the root) leaves no slope,
// and the bracket is halved there.
double solveUpperTail(const Margins& m, CentralRatios& ratios, long double alpha, double start) {
  const auto upperTail = [&m, &ratios, alpha](double t) {
    const TableSums s = sumTables(m, ratios, t);
    const long double tail = s.atLeast / s.all;
    const long double slope = s.offsetAtLeast / s.all - tail * (s.offset / s.all);
    return Slope{std::log(tail) - std::log(alpha), slope / tail};
  };
  return solveLogOdds(upperTail, start);
}

double solveLowerTail(const Margins& m, CentralRatios& ratios, long double alpha, double start) {
  const auto lowerTail = [&m, &ratios, alpha](double t) {
    const TableSums s = sumTables(m, ratios, t);
    const long double tail = s.atMost / s.all;
    // The observed count has d = 0, so the offsets below it are the rest of the sum.
    const long double offsetAtMost = s.offset - s.offsetAtLeast;
    const long double slope = tail * (s.offset / s.all) - offsetAtMost / s.all;
    return Slope{std::log(alpha) - std::log(tail), slope / tail};
  };
  return solveLogOdds(lowerTail, start);
}

Margins marginsOf(const PairComparison& pair) {
  Margins m{};
  m.observed = pair.observedA;
  m.casesA = pair.totalA;
  m.casesB = pair.totalB;
  m.occurrences = static_cast<std::int64_t>(pair.observedA) + pair.observedB;
  m.lowest = std::max<std::int64_t>(0, m.occurrences - m.casesB);
  m.highest = std::min(m.casesA, m.occurrences);
  return m;
}

}  // namespace

OddsRatioEstimate conditionalOddsRatio(const PairComparison& pair, double confidence) {
  OddsRatioEstimate result;
  if (!(confidence > 0 && confidence < 1) || pair.observedA > pair.totalA ||
      pair.observedB > pair.totalB) {
    result.low = std::numeric_limits<double>::quiet_NaN();
    result.high = result.low;
    return result;
  }
  const Margins m = marginsOf(pair);
  result.low = 0;
  result.high = std::numeric_limits<double>::infinity();
  if (m.lowest == m.highest) return result;
  thread_local std::vector<double> towardsMoreBuffer;
  thread_local std::vector<double> towardsFewerBuffer;
  CentralRatios ratios{towardsMoreBuffer, towardsFewerBuffer};

  // Newton starts from the sample log odds ratio with half an occurrence added to every cell;
  // the bounds start where the normal approximation of the count at the estimate, with half a
  // count for the observed table, puts the tail at alpha. Where the estimate is 0 or +inf, the
  // bound starts about two of the sample's usual standard errors away.
  const double cells[] = {static_cast<double>(pair.observedA) + 0.5,
                          static_cast<double>(pair.totalA - pair.observedA) + 0.5,
                          static_cast<double>(pair.observedB) + 0.5,
                          static_cast<double>(pair.totalB - pair.observedB) + 0.5};
  const double centre =
      std::log(cells[0]) - std::log(cells[1]) - std::log(cells[2]) + std::log(cells[3]);
  const double spread = 2 * std::sqrt(1 / cells[0] + 1 / cells[1] + 1 / cells[2] + 1 / cells[3]);
  const long double alpha = (1 - static_cast<long double>(confidence)) / 2;
  const bool fewest = m.observed == m.lowest;
  const bool most = m.observed == m.highest;
  double lowStart = centre - spread;
  double highStart = centre + spread;
  if (fewest) {
    result.estimate = 0.0;
  } else if (most) {
    result.estimate = std::numeric_limits<double>::infinity();
  } else {
    const MeanRoot root = solveMeanLogOdds(m, ratios, centre);
    result.estimate = std::exp(root.logOdds);
    const auto variance = static_cast<double>(root.variance);
    const double z = std::sqrt(2.0) * boost::math::erfc_inv(static_cast<double>(2 * alpha));
    if (variance > 0) {
      const double reach = (z * std::sqrt(variance) + 0.5) / variance;
      lowStart = root.logOdds - reach;
      highStart = root.logOdds + reach;
    }
  }
  if (!fewest) result.low = std::exp(solveUpperTail(m, ratios, alpha, lowStart));
  if (!most) result.high = std::exp(solveLowerTail(m, ratios, alpha, highStart));
  return result;
}

}  // namespace brevox
