#include "stats/fisher_sum.h"

#include <algorithm>
#include <boost/math/distributions/hypergeometric.hpp>
#include <cmath>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "io/number_text.h"
#include "stats/arrangement_shares.h"

namespace brevox {

namespace {

// The density carried by ratios stays close to the library's: the chain adds about two units of
// 2^-64 per table, the library rounds each density to double (measured within 2e-16 at several
// thousand cases, within 4e-11 at a billion). Tables whose estimate lies within this far wider
// relative distance of the observed probability are given the density itself, so every exact
// comparison is decided as the library decides it.
constexpr long double kCloseMargin = 1e-6L;

// Below this observed probability the library's densities lose digits to underflow; the sums
// then use the densities of the tables that are added.
constexpr double kTinyProbability = 1e-280;

// A p-value this close to the threshold, relatively, is recomputed as the library's table by
// table sum, so that rounding in the carried densities cannot move a flag.
constexpr double kThresholdMargin = 1e-9;

// What the library's densities of one test may cost, in seconds.
constexpr double kLibraryBudget = 1.0;

// The cost of one of the library's densities (Boost 1.74), measured: up to 170 cases it reads a
// table of factorials; up to the 10,000th prime, 104,729, it loops over the primes, about 70 ns
// per case; beyond, it balances the exponents of its Lanczos terms by repeated subtraction,
// which took up to 3.5 s at 2^30 cases.
double secondsPerDensity(std::uint32_t population) {
  if (population <= 170) return 2e-6;
  if (population <= 104729) return 1e-7 * population;
  return 4e-9 * population;
}

long double logChoose(std::uint32_t q, std::uint32_t r) {
  return logFactorial(q) - logFactorial(r) - logFactorial(q - r);
}

bool nearThreshold(double pValue, double threshold) {
  return std::fabs(pValue - threshold) <= kThresholdMargin * std::fabs(threshold);
}

// The probabilities of the possible tables relative to the most probable one, carried outwards
// by the ratio of neighbours: f(x + 1) / f(x) = (r - x)(n - x) / ((x + 1)(rest + x + 1)), every
// factor an exact integer in long double.
struct Chain {
  std::uint32_t r = 0;
  std::uint32_t n = 0;
  std::int64_t rest = 0;  // cases of the second work that are not occurrences, less n

  long double up(std::uint32_t x, long double relative) const {
    const long double factor = static_cast<long double>(r - x) * static_cast<long double>(n - x);
    const long double divisor =
        static_cast<long double>(x + 1) * static_cast<long double>(rest + x + 1);
    return relative * factor / divisor;
  }
  long double down(std::uint32_t x, long double relative) const {
    const long double factor = static_cast<long double>(x) * static_cast<long double>(rest + x);
    const long double divisor =
        static_cast<long double>(r - x + 1) * static_cast<long double>(n - x + 1);
    return relative * factor / divisor;
  }
};

// The relative probability of `target`, carried from the mode.
long double relativeAt(const Chain& chain, std::uint32_t mode, std::uint32_t target) {
  long double relative = 1;
  for (std::uint32_t x = mode; x < target; ++x) relative = chain.up(x, relative);
  for (std::uint32_t x = mode; x > target; --x) relative = chain.down(x, relative);
  return relative;
}

// The tables whose carried probability, scaled, is not far below half the smallest double, with
// their relative probabilities: counts from `first` on.
struct Window {
  std::uint32_t first = 0;
  std::vector<long double> relative;
};

Window window(const Chain& chain, std::uint32_t mode, std::uint32_t lowest, std::uint32_t highest,
              long double scale, long double cutoff) {
  std::vector<long double> below;  // from mode - 1 down
  long double relative = 1;
  for (std::uint32_t x = mode; x > lowest && relative * scale >= cutoff; --x) {
    relative = chain.down(x, relative);
    below.push_back(relative);
  }
  Window result;
  result.first = mode - static_cast<std::uint32_t>(below.size());
  result.relative.assign(below.rbegin(), below.rend());
  relative = 1;
  result.relative.push_back(relative);
  for (std::uint32_t x = mode; x < highest && relative * scale >= cutoff; ++x) {
    relative = chain.up(x, relative);
    result.relative.push_back(relative);
  }
  return result;
}

// How far, relatively, the p-values from our own density of the observed table may lie from those
// the library's would give: the two densities differ by a few units of 2^-53 up to thousands of
// cases and by up to 4e-11 at a billion, and the sums carry that difference and about 1e-13 of
// their own.
constexpr double kOwnDensityMargin = 1e-9;

// Whether every value within the margin of `value` prints the same six digits and falls on the same
// side of the threshold: then the library's sum does too.
bool settled(double value, double threshold) {
  const double low = value * (1 - kOwnDensityMargin);
  const double high = value * (1 + kOwnDensityMargin);
  return formatDouble(low) == formatDouble(high) && (threshold > low) == (threshold > high);
}

// The flags from the p-values, and the tables added to the sum for whoever asks.
FisherResult finished(FisherResult result, std::uint32_t firstCount,
                      std::vector<std::uint8_t> added, AddedTables* addedTables) {
  result.significantDoubleTail = result.threshold > result.pDoubleTail ? 1 : 0;
  result.significantMidP = result.threshold > result.pMidP ? 1 : 0;
  if (addedTables != nullptr) {
    addedTables->firstCount = firstCount;
    addedTables->added = std::move(added);
  }
  return result;
}

// Most tables need no density of the library at all, which costs about 0.1 microsecond per case
// of the two works: with an accurate density of our own for the observed table, every table is
// surely more or surely less probable than it, and the p-values print the six digits and keep the
// flags the library's would give. Returns nothing where that does not hold.
std::optional<FisherResult> sumWithOwnDensity(const Chain& chain, std::uint32_t a,
                                              std::uint32_t mode, std::uint32_t lowest,
                                              std::uint32_t highest, double threshold,
                                              AddedTables* addedTables) {
  const double observedDensity = static_cast<double>(hypergeometricDensity(
      chain.r, chain.n, static_cast<std::uint32_t>(chain.rest + chain.r + chain.n), a));
  if (!(observedDensity >= kTinyProbability)) return std::nullopt;
  const long double scale = observedDensity / relativeAt(chain, mode, a);
  const long double roundsToZero = std::ldexp(1.0L, -1075);
  const Window tables = window(chain, mode, lowest, highest, scale, roundsToZero / 4);
  std::vector<std::uint8_t> added(tables.relative.size(), 0);
  long double tail = 0;
  for (std::size_t i = 0; i < tables.relative.size(); ++i) {
    const std::uint32_t x = tables.first + static_cast<std::uint32_t>(i);
    if (x == a) {
      added[i] = 1;
      continue;
    }
    const long double estimate = tables.relative[i] * scale;
    const long double high = estimate * (1 + kCloseMargin);
    if (high < roundsToZero) {
      added[i] = 1;
      continue;
    }
    if (high <= observedDensity) {
      tail += estimate;
      added[i] = 1;
      continue;
    }
    if (!(static_cast<double>(estimate * (1 - kCloseMargin)) > observedDensity)) {
      return std::nullopt;
    }
  }
  FisherResult result;
  result.threshold = threshold;
  result.pDoubleTail = static_cast<double>(observedDensity + tail);
  result.pMidP = static_cast<double>(0.5L * observedDensity + tail);
  if (!settled(result.pDoubleTail, threshold) || !settled(result.pMidP, threshold)) {
    return std::nullopt;
  }
  return finished(result, tables.first, std::move(added), addedTables);
}

}  // namespace

FisherResult sumFisherTables(const PairComparison& pair, double threshold,
                             AddedTables* addedTables) {
  const std::uint32_t a = pair.observedA;
  const std::uint32_t b = pair.observedB;
  const std::uint32_t r = pair.totalA;
  const std::uint32_t n = a + b;
  const std::uint32_t population = (pair.totalA - a) + (pair.totalB - b) + b + a;
  const boost::math::hypergeometric_distribution<double> distribution(r, n, population);

  const std::uint32_t highest = std::min(r, n);
  const std::uint32_t lowest = n + r > population ? n + r - population : 0;
  const Chain chain{r, n, static_cast<std::int64_t>(population) - r - n};
  const long double modeEstimate =
      std::floor((static_cast<long double>(n) + 1) * (static_cast<long double>(r) + 1) /
                 (static_cast<long double>(population) + 2));
  const std::uint32_t mode = static_cast<std::uint32_t>(std::clamp<long double>(
      modeEstimate, static_cast<long double>(lowest), static_cast<long double>(highest)));
  if (const std::optional<FisherResult> quick =
          sumWithOwnDensity(chain, a, mode, lowest, highest, threshold, addedTables)) {
    return *quick;
  }

  // Anchor the relative densities on the observed probability while it is a full double; below
  // that, on the mode's probability from log-gamma functions, which only steers the comparisons.
  long double relativeObserved = -1;  // carried only when needed: the observed table is then near
  auto scaleFor = [&](double observedDensity) -> long double {
    if (!(observedDensity >= kTinyProbability)) {
      return std::exp(logChoose(r, mode) + logChoose(population - r, n - mode) -
                      logChoose(population, n));
    }
    if (relativeObserved < 0) relativeObserved = relativeAt(chain, mode, a);
    return observedDensity / relativeObserved;
  };
  const long double roundsToZero = std::ldexp(1.0L, -1075);

  // The window of tables whose density is not surely 0. Where the library's densities of every
  // possible table fit the budget, it is found with the library's observed probability; else
  // with our own, and a quarter of the cut-off covers the library's, which differs from it by
  // far less.
  const double perDensity = secondsPerDensity(population);
  // Every possible table twice over: once in the comparisons, once in the sum near the threshold.
  const bool affordable =
      2 * static_cast<double>(highest - lowest + 2) * perDensity <= kLibraryBudget;
  const double ownObserved =
      affordable ? 0 : static_cast<double>(hypergeometricDensity(r, n, population, a));
  const double libraryObserved = affordable ? boost::math::pdf(distribution, a) : 0;
  const Window tables =
      window(chain, mode, lowest, highest, scaleFor(affordable ? libraryObserved : ownObserved),
             roundsToZero / 4);
  const std::uint32_t last = tables.first + static_cast<std::uint32_t>(tables.relative.size()) - 1;

  // How many densities the comparisons below ask for: the library is used while that fits the
  // budget, our own density beyond.
  auto densitiesAskedFor = [&](double observedDensity, long double scale) {
    const bool tiny = !(observedDensity >= kTinyProbability);
    std::uint64_t asked = 1;
    for (std::uint32_t x = tables.first; x <= last; ++x) {
      const long double estimate = tables.relative[x - tables.first] * scale;
      const long double high = estimate * (1 + kCloseMargin);
      const bool surelyZero = high < roundsToZero;
      const bool surelyAdded = surelyZero || high <= observedDensity;
      const bool surelyLeft =
          !surelyAdded && static_cast<double>(estimate * (1 - kCloseMargin)) > observedDensity;
      if (x != a && !surelyLeft && !surelyZero && (tiny || !surelyAdded)) ++asked;
    }
    return asked;
  };
  const double spent =
      affordable
          ? 0
          : static_cast<double>(densitiesAskedFor(ownObserved, scaleFor(ownObserved))) * perDensity;
  const bool useLibrary = spent <= kLibraryBudget;
  auto density = [&](std::uint32_t x) {
    return useLibrary ? boost::math::pdf(distribution, x)
                      : static_cast<double>(hypergeometricDensity(r, n, population, x));
  };

  const double observedDensity =
      affordable ? libraryObserved : (useLibrary ? boost::math::pdf(distribution, a) : ownObserved);
  const bool tiny = !(observedDensity >= kTinyProbability);
  const long double scale = scaleFor(observedDensity);

  std::vector<std::uint8_t> added(tables.relative.size(), 0);
  auto markAdded = [&](std::uint32_t x) { added[x - tables.first] = 1; };
  if (a >= tables.first && a <= last) markAdded(a);
  long double tail = 0;
  for (std::uint32_t x = tables.first; x <= last; ++x) {
    if (x == a) continue;
    const long double estimate = tables.relative[x - tables.first] * scale;
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
    const double px = density(x);
    if (observedDensity < px) continue;
    tail += px;
    markAdded(x);
  }

  FisherResult result;
  result.threshold = threshold;
  result.pDoubleTail = static_cast<double>(observedDensity + tail);
  result.pMidP = static_cast<double>(0.5L * observedDensity + tail);
  if (useLibrary &&
      (nearThreshold(result.pDoubleTail, threshold) || nearThreshold(result.pMidP, threshold))) {
    // The library's sum, in the order of the counts, as the table-by-table test forms it. Both
    // sums start at half the observed probability or more, so a density below 2^-55 of it
    // changes neither and is not asked for; the tables outside the window add 0.
    const long double absorbed = std::ldexp(static_cast<long double>(observedDensity), -55);
    std::vector<std::uint32_t> asked;
    for (std::uint32_t x = tables.first; x <= last; ++x) {
      const long double estimate = tables.relative[x - tables.first] * scale;
      if (x != a && added[x - tables.first] == 1 && estimate * (1 + kCloseMargin) >= absorbed) {
        asked.push_back(x);
      }
    }
    if (affordable || spent + static_cast<double>(asked.size()) * perDensity <= kLibraryBudget) {
      result.pDoubleTail = observedDensity;
      result.pMidP = 0.5 * observedDensity;
      for (const std::uint32_t x : asked) {
        const double px = boost::math::pdf(distribution, x);
        result.pDoubleTail += px;
        result.pMidP += px;
      }
    }
  }
  return finished(result, tables.first, std::move(added), addedTables);
}

}  // namespace brevox
