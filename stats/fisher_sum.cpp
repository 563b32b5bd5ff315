#include "stats/fisher_sum.h"

#include <algorithm>
#include <boost/math/distributions/hypergeometric.hpp>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace brevox {

namespace {

// The density carried by ratios stays close to the library's: the chain adds about two units of
// 2^-64 per table, the library rounds each density to double (measured within 2e-16 at several
// thousand cases). Tables whose estimate lies within this far wider relative distance of the
// observed probability are given the library's own density, so every exact comparison is
// decided as the library decides it.
constexpr long double kCloseMargin = 1e-6L;

// Below this observed probability the library's densities lose digits to underflow; the sums
// then use the library's densities of the tables that are added.
constexpr double kTinyProbability = 1e-280;

// A p-value this close to the threshold, relatively, is recomputed as the library's table by
// table sum, so that rounding in the carried densities cannot move a flag.
constexpr double kThresholdMargin = 1e-9;

long double logChoose(std::uint32_t q, std::uint32_t r) {
  return std::lgamma(static_cast<long double>(q) + 1) -
         std::lgamma(static_cast<long double>(r) + 1) -
         std::lgamma(static_cast<long double>(q - r) + 1);
}

bool nearThreshold(double pValue, double threshold) {
  return std::fabs(pValue - threshold) <= kThresholdMargin * std::fabs(threshold);
}

}  // namespace

FisherResult sumFisherTables(const PairComparison& pair, double threshold,
                             std::vector<std::uint8_t>* addedTables) {
  const std::uint32_t a = pair.observedA;
  const std::uint32_t b = pair.observedB;
  const std::uint32_t r = pair.totalA;
  const std::uint32_t n = a + b;
  const std::uint32_t population = (pair.totalA - a) + (pair.totalB - b) + b + a;
  const boost::math::hypergeometric_distribution<double> distribution(r, n, population);
  const double observedDensity = boost::math::pdf(distribution, a);

  const std::uint32_t highest = std::min(r, n);
  const std::uint32_t lowest = n + r > population ? n + r - population : 0;
  const std::uint32_t count = highest - lowest + 1;
  // Cases of the second work that are not occurrences, less the occurrences given to the first
  // work: the table with x occurrences in the first work has (rest + x) such cases.
  const std::int64_t rest = static_cast<std::int64_t>(population) - r - n;

  // Densities relative to the most probable table, carried outwards by the ratio of neighbours:
  // f(x + 1) / f(x) = (r - x)(n - x) / ((x + 1)(rest + x + 1)). Every factor is an exact
  // integer in long double.
  const long double modeEstimate =
      std::floor((static_cast<long double>(n) + 1) * (static_cast<long double>(r) + 1) /
                 (static_cast<long double>(population) + 2));
  const std::uint32_t mode = static_cast<std::uint32_t>(std::clamp<long double>(
      modeEstimate, static_cast<long double>(lowest), static_cast<long double>(highest)));
  std::vector<long double> relative(count);
  relative[mode - lowest] = 1;
  for (std::uint32_t x = mode; x < highest; ++x) {
    const long double up = static_cast<long double>(r - x) * static_cast<long double>(n - x);
    const long double down =
        static_cast<long double>(x + 1) * static_cast<long double>(rest + x + 1);
    relative[x + 1 - lowest] = relative[x - lowest] * up / down;
  }
  for (std::uint32_t x = mode; x > lowest; --x) {
    const long double up = static_cast<long double>(x) * static_cast<long double>(rest + x);
    const long double down =
        static_cast<long double>(r - x + 1) * static_cast<long double>(n - x + 1);
    relative[x - 1 - lowest] = relative[x - lowest] * up / down;
  }

  // Anchor the relative densities on the library's observed probability while it is a full
  // double; below that, on the mode's probability from log-gamma functions, which only steers
  // the comparisons.
  const bool tiny = !(observedDensity >= kTinyProbability);
  const long double scale =
      tiny ? std::exp(logChoose(r, mode) + logChoose(population - r, n - mode) -
                      logChoose(population, n))
           : observedDensity / relative[a - lowest];
  const long double roundsToZero = std::ldexp(1.0L, -1075);

  std::vector<std::uint8_t> added(count, 0);
  auto markAdded = [&](std::uint32_t x) { added[x - lowest] = 1; };
  markAdded(a);
  long double tail = 0;
  for (std::uint32_t x = lowest; x <= highest; ++x) {
    if (x == a) continue;
    const long double estimate = relative[x - lowest] * scale;
    const long double high = estimate * (1 + kCloseMargin);
    const long double low = estimate * (1 - kCloseMargin);
    // A density below half the smallest double is 0 for the library, and 0 is never more
    // probable than the observed table.
    const bool surelyZero = high < roundsToZero;
    const bool surelyAdded = surelyZero || high <= observedDensity;
    if (!surelyAdded && static_cast<double>(low) > observedDensity) continue;
    if (surelyAdded && (surelyZero || !tiny)) {
      if (!surelyZero) tail += estimate;
      markAdded(x);
      continue;
    }
    const double density = boost::math::pdf(distribution, x);
    if (observedDensity < density) continue;
    tail += density;
    markAdded(x);
  }

  FisherResult result;
  result.threshold = threshold;
  result.pDoubleTail = static_cast<double>(observedDensity + tail);
  result.pMidP = static_cast<double>(0.5L * observedDensity + tail);
  if (nearThreshold(result.pDoubleTail, threshold) || nearThreshold(result.pMidP, threshold)) {
    // The library's sum, in the order of the counts, as the table-by-table test forms it.
    result.pDoubleTail = observedDensity;
    result.pMidP = 0.5 * observedDensity;
    for (std::uint32_t x = lowest; x <= highest; ++x) {
      if (x == a || added[x - lowest] == 0) continue;
      const double density = boost::math::pdf(distribution, x);
      result.pDoubleTail += density;
      result.pMidP += density;
    }
  }
  result.significantDoubleTail = threshold > result.pDoubleTail ? 1 : 0;
  result.significantMidP = threshold > result.pMidP ? 1 : 0;
  if (addedTables != nullptr) *addedTables = std::move(added);
  return result;
}

}  // namespace brevox
