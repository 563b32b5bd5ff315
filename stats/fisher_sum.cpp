#include "stats/fisher_sum.h"

#include <algorithm>
#include <boost/math/distributions/hypergeometric.hpp>
#include <cmath>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "stats/arrangement_shares.h"
#include "stats/fisher_resum.h"
#include "stats/fisher_sum_internal.h"
#include "stats/printed_digits.h"

namespace brevox {

namespace {

// The density carried by ratios stays close to the library's: the chain adds about two units of
// 2^-64 per table, the library rounds each density to double (measured within 2e-16 at several
// thousand cases, within 4e-11 at a billion). Tables whose estimate lies within this far wider
// relative distance of the observed probability are given the density itself, so every exact
// comparison is decided as the library decides it.
constexpr long double kCloseMargin = 1e-6L;

// Below this observed probability the library's densities lose digits to underflow; the sums
// then use the densities of the tables that are added. Tables whose densities round to 0 in
// double compare as equally probable there, so the sum is the one of the library's densities, as
// the table-by-table test forms it; it lies below 1e-270, far below any threshold a data set can
// hold (a positive single-precision number), and only its flags are held to the bounds.
constexpr double kTinyProbability = 1e-280;

// What the library's densities of one test may cost, in seconds.
constexpr double kLibraryBudget = 1.0;

// Unit roundoff of long double (64-bit significand, rounding to nearest).
const long double kUnit = std::ldexp(1.0L, -64);

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

// What one of the fast sums found: the tables of its window it adds, with their probabilities
// relative to the mode's, and its p-values.
struct FastSum {
  Window tables;
  std::vector<std::uint8_t> added;
  bool tiny = false;  // the observed probability lies below kTinyProbability
  double pDoubleTail = 0;
  double pMidP = 0;
};

// What the tables beyond an edge of the window add at most, relative to the mode: each is at most
// the edge's relative probability times the ratio of neighbours there to the power of its
// distance, as the ratio only falls further out, and there are `count` of them.
long double beyondEdge(long double edge, long double numerator, long double denominator,
                       std::uint32_t count) {
  const long double atMost = edge * static_cast<long double>(count);
  if (!(numerator < denominator)) return atMost;
  return std::min(atMost, edge * numerator / (denominator - numerator)) * 1.01L;
}

// Bounds on the exact p-values, doubles that hold them between them, from the relative
// probabilities of the window alone: the added ones over all of them. No density of the library
// or of our own enters, so the bounds hold whatever their errors. Each relative probability
// carries two roundings per table from the mode (its factors are exact whole numbers in long
// double), each sum one more per table, so each sum lies within (2 steps + tables) units of
// rounding of its exact value; a few more units cover the bounds' own arithmetic. Every table
// beyond the window is added and lies below half the smallest double; what they add together is
// bounded by a geometric series at each edge. The mid-p value takes off half the observed table,
// at most half the sum, which at most triples the relative error; where every table is added, it
// is 1 less the observed table's share, bounded on its own.
struct PValueBounds {
  double lowDoubleTail = 0;
  double highDoubleTail = 0;
  double lowMidP = 0;
  double highMidP = 0;
};

PValueBounds boundPValues(const Chain& chain, const FisherTables& t, std::uint32_t a,
                          const FastSum& sum, bool everyTable) {
  const std::vector<long double>& relative = sum.tables.relative;
  const std::uint32_t first = sum.tables.first;
  const std::uint32_t last = first + static_cast<std::uint32_t>(relative.size()) - 1;
  long double all = 0;
  long double added = 0;
  long double half = 0;  // 0 where the observed table lies beyond the window, among the rest
  for (std::size_t i = 0; i < relative.size(); ++i) {
    all += relative[i];
    if (sum.added[i] == 1) added += relative[i];
    if (first + i == a) half = relative[i] / 2;
  }
  long double beyond = 0;
  if (first > t.lowest) {
    beyond +=
        beyondEdge(relative.front(),
                   static_cast<long double>(first) * static_cast<long double>(chain.rest + first),
                   static_cast<long double>(chain.r - first + 1) *
                       static_cast<long double>(chain.n - first + 1),
                   first - t.lowest);
  }
  if (last < t.highest) {
    beyond += beyondEdge(
        relative.back(),
        static_cast<long double>(chain.r - last) * static_cast<long double>(chain.n - last),
        static_cast<long double>(last + 1) * static_cast<long double>(chain.rest + last + 1),
        t.highest - last);
  }
  const long double steps = std::max(t.mode - first, last - t.mode);
  const long double error = (2 * steps + static_cast<long double>(relative.size()) + 16) * kUnit;
  auto low = [&](long double part, long double partError) {
    return part * (1 - partError) / ((all + beyond) * (1 + error));
  };
  auto high = [&](long double part, long double partError) {
    return (part + beyond) * (1 + partError) / (all * (1 - error));
  };
  PValueBounds bounds;
  bounds.lowDoubleTail = static_cast<double>(low(added, error));
  bounds.highDoubleTail = static_cast<double>(high(added, error));
  if (everyTable) {
    bounds.lowMidP = static_cast<double>(1 - half * (1 + error) / (all * (1 - error)));
    bounds.highMidP = static_cast<double>(1 - half * (1 - error) / ((all + beyond) * (1 + error)));
  } else {
    bounds.lowMidP = static_cast<double>(low(added - half, 3 * error));
    bounds.highMidP = static_cast<double>(high(added - half, 3 * error));
  }
  return bounds;
}

// The p-values and flags of the tables a fast sum adds, handing those tables to whoever asks.
// Where every possible table is added, the double tail is exactly 1, and the mid-p value 1 less
// half the observed probability, rounded once. Else a fast p-value stands where it, and every
// value its bounds allow, print the same digits and fall on the same side of the threshold (only
// the side counts where the library's densities underflow). What that does not settle is summed
// again at 50 digits: only tables within about 1e-13 of the threshold or of a change of the
// printed digits need it, and the mid-p values of the tables where every table is added whose
// bounds straddle a rounding of double, a few in a hundred.
FisherResult settledOrSummedAgain(const Chain& chain, const FisherTables& t, std::uint32_t a,
                                  double threshold, FastSum sum, AddedTables* addedTables) {
  FisherResult result;
  result.threshold = threshold;
  const bool everyTable = std::all_of(sum.added.begin(), sum.added.end(),
                                      [](std::uint8_t added) { return added == 1; });
  const PValueBounds bounds = boundPValues(chain, t, a, sum, everyTable);
  bool doubleTailSettled = true;
  bool midPSettled = true;
  if (everyTable) {
    result.pDoubleTail = 1;
    result.pMidP = bounds.lowMidP;
    midPSettled = bounds.lowMidP == bounds.highMidP;
  } else {
    result.pDoubleTail = sum.pDoubleTail;
    result.pMidP = sum.pMidP;
    doubleTailSettled = standsForExact(result.pDoubleTail, bounds.lowDoubleTail,
                                       bounds.highDoubleTail, threshold, sum.tiny);
    midPSettled =
        standsForExact(result.pMidP, bounds.lowMidP, bounds.highMidP, threshold, sum.tiny);
  }
  AddedTables added{sum.tables.first, std::move(sum.added)};
  if (!doubleTailSettled || !midPSettled) {
    const FisherPValues exact = resumFisherTables(t, a, added);
    if (!doubleTailSettled) result.pDoubleTail = exact.doubleTail;
    if (!midPSettled) result.pMidP = exact.midP;
  }
  result.significantDoubleTail = result.threshold > result.pDoubleTail ? 1 : 0;
  result.significantMidP = result.threshold > result.pMidP ? 1 : 0;
  if (addedTables != nullptr) *addedTables = std::move(added);
  return result;
}

// A density below half the smallest double is 0 for the library, and 0 is never more probable
// than the observed table.
const long double kRoundsToZero = std::ldexp(1.0L, -1075);

// What the estimate of a table's density says of it beside the observed probability: surely 0
// (and added), surely added, surely left out, or to be asked of a density: where it lies close to
// the observed probability, or where that probability is tiny and only the densities that are 0
// in double tell which tables are added.
enum class TableVerdict { kZero, kAdded, kLeftOut, kAsk };

TableVerdict judgeTable(long double estimate, double observedDensity, bool tiny) {
  const long double high = estimate * (1 + kCloseMargin);
  if (high < kRoundsToZero) return TableVerdict::kZero;
  const bool surelyAdded = high <= observedDensity;
  if (!surelyAdded && static_cast<double>(estimate * (1 - kCloseMargin)) > observedDensity) {
    return TableVerdict::kLeftOut;
  }
  return surelyAdded && !tiny ? TableVerdict::kAdded : TableVerdict::kAsk;
}

// How far, relatively, the p-values from our own density of the observed table may lie from those
// the library's would give: the two densities differ by a few units of 2^-53 up to thousands of
// cases and by up to 4e-11 at a billion, and the sums carry that difference and about 1e-13 of
// their own.
constexpr double kOwnDensityMargin = 1e-9;

// Whether every value within the margin of `value` prints the same six digits and falls on the
// same side of the threshold.
bool clearOfChanges(double value, double threshold) {
  return printsAndDecidesAlike(value * (1 - kOwnDensityMargin), value * (1 + kOwnDensityMargin),
                               threshold);
}

// Most tables need no density of the library at all, which costs about 0.1 microsecond per case
// of the two works: with an accurate density of our own for the observed table, every table is
// surely more or surely less probable than it, as the library's densities would find too. Where
// a p-value lies close to a change of its digits or to the threshold, the library's densities
// give it as before, so that the p-values in full (option E) stay as they were wherever the bounds
// settle them. Returns nothing where either does not hold.
std::optional<FastSum> sumWithOwnDensity(const Chain& chain, const FisherTables& t, std::uint32_t a,
                                         double threshold) {
  const double observedDensity =
      static_cast<double>(hypergeometricDensity(chain.r, chain.n, t.population, a));
  if (!(observedDensity >= kTinyProbability)) return std::nullopt;
  const long double scale = observedDensity / relativeAt(chain, t.mode, a);
  FastSum sum;
  sum.tables = window(chain, t.mode, t.lowest, t.highest, scale, kRoundsToZero / 4);
  const Window& tables = sum.tables;
  sum.added.assign(tables.relative.size(), 0);
  long double tail = 0;
  for (std::size_t i = 0; i < tables.relative.size(); ++i) {
    const std::uint32_t x = tables.first + static_cast<std::uint32_t>(i);
    if (x == a) {
      sum.added[i] = 1;
      continue;
    }
    const long double estimate = tables.relative[i] * scale;
    switch (judgeTable(estimate, observedDensity, false)) {
      case TableVerdict::kAdded:
        tail += estimate;
        sum.added[i] = 1;
        break;
      case TableVerdict::kZero:
        sum.added[i] = 1;
        break;
      case TableVerdict::kLeftOut:
        break;
      case TableVerdict::kAsk:
        return std::nullopt;
    }
  }
  sum.pDoubleTail = static_cast<double>(observedDensity + tail);
  sum.pMidP = static_cast<double>(0.5L * observedDensity + tail);
  if (!clearOfChanges(sum.pDoubleTail, threshold) || !clearOfChanges(sum.pMidP, threshold)) {
    return std::nullopt;
  }
  return sum;
}

// Anchors the relative probabilities on the observed probability while it is a full double;
// below that, on the mode's probability from log-gamma functions, which only steers the
// comparisons. The observed table's relative probability is carried once, when first needed: the
// observed table is then near.
struct Anchor {
  Chain chain;
  FisherTables t;
  std::uint32_t a = 0;
  long double relativeObserved = -1;
};

long double scaleFor(Anchor& anchor, double observedDensity) {
  const FisherTables& t = anchor.t;
  if (!(observedDensity >= kTinyProbability)) {
    return std::exp(logChoose(t.r, t.mode) + logChoose(t.population - t.r, t.n - t.mode) -
                    logChoose(t.population, t.n));
  }
  if (anchor.relativeObserved < 0) {
    anchor.relativeObserved = relativeAt(anchor.chain, t.mode, anchor.a);
  }
  return observedDensity / anchor.relativeObserved;
}

// How many densities the sum asks for with this observed probability and scale.
std::uint64_t densitiesAskedFor(const Window& tables, std::uint32_t a, double observedDensity,
                                long double scale) {
  const bool tiny = !(observedDensity >= kTinyProbability);
  std::uint64_t asked = 1;
  for (std::size_t i = 0; i < tables.relative.size(); ++i) {
    if (tables.first + i == a) continue;
    if (judgeTable(tables.relative[i] * scale, observedDensity, tiny) == TableVerdict::kAsk) {
      ++asked;
    }
  }
  return asked;
}

using Hypergeometric = boost::math::hypergeometric_distribution<double>;

// How the sum goes about a pair: the window of tables whose density is not surely 0, whose
// densities it asks for (the library's while they fit its budget, else our own), and the observed
// probability with the scale of the relative ones.
struct FisherPlan {
  Window tables;
  bool useLibrary = true;
  double observedDensity = 0;
  bool tiny = false;
  long double scale = 0;
};

FisherPlan planFisherSum(Anchor& anchor, const Hypergeometric& distribution) {
  const FisherTables& t = anchor.t;
  const std::uint32_t a = anchor.a;
  // Where the library's densities of every possible table fit the budget, the window is found
  // with the library's observed probability; else with our own, and a quarter of the cut-off
  // covers the library's, which differs from it by far less. Every possible table is counted
  // twice over, so that the comparisons take at most half the budget.
  const double perDensity = secondsPerDensity(t.population);
  const bool affordable =
      2 * static_cast<double>(t.highest - t.lowest + 2) * perDensity <= kLibraryBudget;
  const double ownObserved =
      affordable ? 0 : static_cast<double>(hypergeometricDensity(t.r, t.n, t.population, a));
  const double libraryObserved = affordable ? boost::math::pdf(distribution, a) : 0;
  FisherPlan plan;
  plan.tables =
      window(anchor.chain, t.mode, t.lowest, t.highest,
             scaleFor(anchor, affordable ? libraryObserved : ownObserved), kRoundsToZero / 4);
  const double spent = affordable
                           ? 0
                           : static_cast<double>(densitiesAskedFor(plan.tables, a, ownObserved,
                                                                   scaleFor(anchor, ownObserved))) *
                                 perDensity;
  plan.useLibrary = spent <= kLibraryBudget;
  plan.observedDensity = affordable
                             ? libraryObserved
                             : (plan.useLibrary ? boost::math::pdf(distribution, a) : ownObserved);
  plan.tiny = !(plan.observedDensity >= kTinyProbability);
  plan.scale = scaleFor(anchor, plan.observedDensity);
  return plan;
}

// The tables of the plan's window that are no more probable than the observed one, with the
// p-values of their fast sums.
FastSum sumPlannedTables(const FisherTables& t, std::uint32_t a, const Hypergeometric& distribution,
                         FisherPlan plan) {
  FastSum sum;
  sum.tables = std::move(plan.tables);
  sum.tiny = plan.tiny;
  const Window& tables = sum.tables;
  sum.added.assign(tables.relative.size(), 0);
  const double observedDensity = plan.observedDensity;
  long double tail = 0;
  for (std::size_t i = 0; i < tables.relative.size(); ++i) {
    const std::uint32_t x = tables.first + static_cast<std::uint32_t>(i);
    if (x == a) {
      sum.added[i] = 1;
      continue;
    }
    const long double estimate = tables.relative[i] * plan.scale;
    const TableVerdict verdict = judgeTable(estimate, observedDensity, plan.tiny);
    if (verdict == TableVerdict::kLeftOut) continue;
    if (verdict == TableVerdict::kAsk) {
      const double px = plan.useLibrary
                            ? boost::math::pdf(distribution, x)
                            : static_cast<double>(hypergeometricDensity(t.r, t.n, t.population, x));
      if (observedDensity < px) continue;
      tail += px;
    } else if (verdict == TableVerdict::kAdded) {
      tail += estimate;
    }
    sum.added[i] = 1;
  }
  sum.pDoubleTail = static_cast<double>(observedDensity + tail);
  sum.pMidP = static_cast<double>(0.5L * observedDensity + tail);
  return sum;
}

}  // namespace

FisherResult sumFisherTables(const PairComparison& pair, double threshold,
                             AddedTables* addedTables) {
  const std::uint32_t a = pair.observedA;
  const FisherTables t = fisherTables(pair);
  const Hypergeometric distribution(t.r, t.n, t.population);
  const Chain chain{t.r, t.n, t.rest};
  if (std::optional<FastSum> quick = sumWithOwnDensity(chain, t, a, threshold)) {
    return settledOrSummedAgain(chain, t, a, threshold, std::move(*quick), addedTables);
  }
  Anchor anchor{chain, t, a};
  FastSum sum = sumPlannedTables(t, a, distribution, planFisherSum(anchor, distribution));
  return settledOrSummedAgain(chain, t, a, threshold, std::move(sum), addedTables);
}

FisherResult sumFisherTables(const PairComparison& pair, double threshold) {
  return sumFisherTables(pair, threshold, nullptr);
}

}  // namespace brevox
