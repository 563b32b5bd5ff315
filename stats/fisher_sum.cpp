#include "stats/fisher_sum.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>

#include "stats/arrangement_shares.h"
#include "stats/exact_ties.h"
#include "stats/fisher_resum.h"
#include "stats/fisher_sum_internal.h"
#include "stats/printed_digits.h"

namespace brevox {

namespace {

// Unit roundoff of long double (64-bit significand, rounding to nearest).
const long double kUnit = std::ldexp(1.0L, -64);

// A side's walk outwards ends where every table further out adds less than this share of what
// the sum adds already; a geometric series bounds what those tables add.
const long double kLeftOver = std::ldexp(1.0L, -72);

// Below this probability relative to the most probable table's, the observed table and all the
// tables no more probable than it (at most 2^31 of them) add up to less than 2^-1169: both
// p-values are 0 in double.
const long double kVanishing = std::ldexp(1.0L, -1200);

// The p-values of option E print 17 digits: where the sums hold the exact p-value within this
// relative distance, their double lies within 4e-16 of it (half a unit of double adds 1.2e-16).
constexpr long double kFullDigits = 2.7e-16L;

// The probability of the table one count further from the most probable one, over that of the
// table at x: every factor an exact whole number in long double, the ratio rounded once.
struct Chain {
  const FisherTables& t;

  long double outwards(std::uint32_t x, int direction) const {
    if (direction > 0) {
      return static_cast<long double>(t.r - x) * static_cast<long double>(t.n - x) /
             (static_cast<long double>(x + 1) * static_cast<long double>(t.rest + x + 1));
    }
    return static_cast<long double>(x) * static_cast<long double>(t.rest + x) /
           (static_cast<long double>(t.r - x + 1) * static_cast<long double>(t.n - x + 1));
  }
  std::uint32_t end(int direction) const { return direction > 0 ? t.highest : t.lowest; }
};

// A compensated sum of relative probabilities with the weight of their roundings: a table `steps`
// counts from the most probable one carries two roundings per step (its ratio and the product).
struct Tally {
  long double sum = 0;
  long double compensation = 0;
  long double rounding = 0;  // the sum of value (2 steps + 1)

  void add(long double value, std::uint32_t steps) {
    const long double next = sum + value;
    compensation += sum >= value ? (sum - next) + value : (value - next) + sum;
    sum = next;
    rounding += value * (2 * static_cast<long double>(steps) + 1);
  }
  long double total() const { return sum + compensation; }
  // The compensated sum errs by at most two units of its value, the terms by their roundings.
  long double error() const { return kUnit * (1.01L * rounding + 3 * total()); }
};

// The relative error of a table's probability `steps` counts from the most probable one.
long double chainError(std::uint32_t steps) {
  return kUnit * 1.01L * (2 * static_cast<long double>(steps) + 1);
}

// What the walk found: all tables and the added ones, relative to the most probable table, what
// the tables beyond the walk add at most (every one of them added), the observed table, and the
// run of tables left out.
struct FisherSums {
  Tally all;
  Tally added;
  long double beyond = 0;
  long double observed = 1;
  std::uint32_t observedSteps = 0;
  AddedTables leftOut;
  bool vanishing = false;
};

// At most what the tables beyond x add, `remaining` of them, where the ratio of neighbours there
// is `ratio` and only falls further out.
long double restBeyond(long double relative, long double ratio, std::uint32_t remaining) {
  const long double atMost = relative * static_cast<long double>(remaining);
  if (!(ratio < 1)) return atMost;
  return std::min(atMost, relative * ratio / (1 - ratio) * 1.01L);
}

// Adds the tables from x (relative probability `relative`, `steps` from the most probable one)
// outwards, every one of them added, until what is left cannot matter.
void addOutwards(const Chain& chain, FisherSums& sums, std::uint32_t x, long double relative,
                 std::uint32_t steps, int direction) {
  const std::uint32_t end = chain.end(direction);
  for (;;) {
    sums.all.add(relative, steps);
    sums.added.add(relative, steps);
    if (x == end) return;
    const long double ratio = chain.outwards(x, direction);
    const std::uint32_t remaining = direction > 0 ? end - x : x - end;
    const long double rest = restBeyond(relative, ratio, remaining);
    if (rest <= kLeftOver * sums.added.total()) {
      sums.beyond += rest;
      return;
    }
    relative *= ratio;
    x = direction > 0 ? x + 1 : x - 1;
    ++steps;
  }
}

// Whether the table at x, of the given relative probability, is no more probable than the
// observed one: by their bounds where those tell, else exactly.
bool noMoreProbable(const FisherTables& t, std::uint32_t a, const FisherSums& sums, std::uint32_t x,
                    long double relative, std::uint32_t steps) {
  const long double margin =
      relative * chainError(steps) + sums.observed * chainError(sums.observedSteps);
  if (relative + margin < sums.observed) return true;
  if (relative - margin > sums.observed) return false;
  return compareTables(t, x, a) <= 0;
}

// From the most probable table out to the observed one: every table between them is more
// probable. Returns false where the observed table's probability vanishes on the way.
bool walkToObserved(const Chain& chain, std::uint32_t a, int direction, FisherSums& sums) {
  std::uint32_t x = chain.t.mode;
  long double relative = 1;
  std::uint32_t steps = 0;
  while (x != a) {
    relative *= chain.outwards(x, direction);
    x = direction > 0 ? x + 1 : x - 1;
    ++steps;
    if (relative < kVanishing) return false;
    if (x != a) sums.all.add(relative, steps);
  }
  sums.observed = relative;
  sums.observedSteps = steps;
  addOutwards(chain, sums, a, relative, steps, direction);
  return true;
}

// From the most probable table away from the observed one: the tables more probable than the
// observed one are left out, the first that is not and all beyond it are added. Returns the last
// table left out.
std::uint32_t walkFarSide(const Chain& chain, std::uint32_t a, int direction, FisherSums& sums) {
  std::uint32_t x = chain.t.mode;
  long double relative = 1;
  std::uint32_t steps = 0;
  sums.all.add(relative, steps);
  const std::uint32_t end = chain.end(direction);
  while (x != end) {
    const long double next = relative * chain.outwards(x, direction);
    const std::uint32_t nextCount = direction > 0 ? x + 1 : x - 1;
    if (noMoreProbable(chain.t, a, sums, nextCount, next, steps + 1)) {
      addOutwards(chain, sums, nextCount, next, steps + 1, direction);
      return x;
    }
    relative = next;
    x = nextCount;
    ++steps;
    sums.all.add(relative, steps);
  }
  return x;
}

// log of the probability of the table at x, up to a constant, and a bound on its error: the
// log-gamma function of long double errs by a few units of its value.
struct LogProbability {
  long double value;
  long double error;
};

LogProbability logProbability(const FisherTables& t, std::uint32_t x) {
  const long double terms[] = {logFactorial(x), logFactorial(t.r - x), logFactorial(t.n - x),
                               logFactorial(static_cast<long double>(t.rest + x))};
  long double error = 1e-17L;
  for (const long double term : terms) error += 16 * kUnit * std::fabs(term);
  return {-(terms[0] + terms[1] + terms[2] + terms[3]), error};
}

// Where the observed probability vanishes, the last table left out on the far side, found by
// halving on logarithms of the probabilities and exactly where those cannot tell.
std::uint32_t farSideByLogarithms(const FisherTables& t, std::uint32_t a, int direction) {
  const LogProbability observed = logProbability(t, a);
  auto addedAt = [&](std::uint32_t x) {
    const LogProbability p = logProbability(t, x);
    const long double margin = p.error + observed.error;
    if (p.value + margin < observed.value) return true;
    if (p.value - margin > observed.value) return false;
    return compareTables(t, x, a) <= 0;
  };
  const std::uint32_t end = direction > 0 ? t.highest : t.lowest;
  // The steps from the most probable table: `leftOut` is one whose table is left out (the most
  // probable table is), `added` one whose table is added, or one beyond the end.
  std::uint32_t leftOut = 0;
  std::uint32_t added = (direction > 0 ? end - t.mode : t.mode - end) + 1;
  while (added - leftOut > 1) {
    const std::uint32_t middle = leftOut + (added - leftOut) / 2;
    if (addedAt(direction > 0 ? t.mode + middle : t.mode - middle)) {
      added = middle;
    } else {
      leftOut = middle;
    }
  }
  return direction > 0 ? t.mode + leftOut : t.mode - leftOut;
}

// The run of tables left out, from the table next to the observed one to the last one left out
// on the far side.
AddedTables leftOutRun(std::uint32_t a, int direction, std::uint32_t farLast) {
  if (direction > 0) return {farLast, a - 1};
  return {a + 1, farLast};
}

// Whether the observed table is a most probable one: every table is then added.
bool observedIsMostProbable(const FisherTables& t, std::uint32_t a) {
  if (a == t.mode) return true;
  if (a + 1 != t.mode && a != t.mode + 1) return false;
  return compareTables(t, a, t.mode) == 0;
}

FisherSums sumTables(const FisherTables& t, std::uint32_t a, bool wantLeftOut) {
  const Chain chain{t};
  FisherSums sums;
  if (observedIsMostProbable(t, a)) {
    sums.all.add(1, 0);
    sums.added.add(1, 0);
    for (const int direction : {-1, 1}) {
      if (t.mode != chain.end(direction)) {
        const std::uint32_t next = direction > 0 ? t.mode + 1 : t.mode - 1;
        addOutwards(chain, sums, next, chain.outwards(t.mode, direction), 1, direction);
      }
    }
    if (a != t.mode) sums.observed = chain.outwards(t.mode, a > t.mode ? 1 : -1);
    sums.observedSteps = a == t.mode ? 0 : 1;
    return sums;
  }
  const int direction = a > t.mode ? 1 : -1;
  if (!walkToObserved(chain, a, direction, sums)) {
    sums.vanishing = true;
    if (wantLeftOut) sums.leftOut = leftOutRun(a, direction, farSideByLogarithms(t, a, -direction));
    return sums;
  }
  sums.leftOut = leftOutRun(a, direction, walkFarSide(chain, a, -direction, sums));
  return sums;
}

// Bounds on a part of the tables over all of them, from the sums and their errors, each the
// double it rounds to: the exact quotient, rounded, lies between them.
struct Bounds {
  double low = 0;
  double high = 0;
  long double value = 0;
  long double spread = 0;  // the greater distance of a bound from the value, relatively
};

Bounds share(long double part, long double partError, const FisherSums& sums) {
  const long double all = sums.all.total();
  const long double allError = sums.all.error();
  const long double low = (part - partError) / (all + allError + sums.beyond) * (1 - 4 * kUnit);
  const long double high = (part + partError + sums.beyond) / (all - allError) * (1 + 4 * kUnit);
  Bounds bounds;
  bounds.value = part / all;
  bounds.low = static_cast<double>(std::max(low, 0.0L));
  bounds.high = static_cast<double>(high);
  bounds.spread = std::max(high - bounds.value, bounds.value - low) / bounds.value;
  return bounds;
}

// The complement of a share of the tables: 1 less the share, rounded once in long double.
Bounds complement(const Bounds& part) {
  Bounds bounds;
  bounds.value = 1 - part.value;
  const long double spread = part.spread * part.value + kUnit;
  bounds.low = static_cast<double>(bounds.value - spread);
  bounds.high = static_cast<double>(bounds.value + spread);
  bounds.spread = spread / bounds.value;
  return bounds;
}

// Whether a p-value between its bounds prints, decides and holds its 17 digits alike wherever the
// exact value lies: then the sum stands for it.
bool settled(const Bounds& bounds, double threshold) {
  if (!printsAndDecidesAlike(bounds.low, bounds.high, threshold)) return false;
  if (bounds.low == bounds.high) return true;
  return bounds.value >= DBL_MIN && bounds.spread <= kFullDigits;
}

}  // namespace

FisherResult sumFisherTables(const PairComparison& pair, double threshold,
                             AddedTables* addedTables) {
  const std::uint32_t a = pair.observedA;
  const FisherTables t = fisherTables(pair);
  const FisherSums sums = sumTables(t, a, addedTables != nullptr);
  if (addedTables != nullptr) *addedTables = sums.leftOut;
  FisherResult result;
  result.threshold = threshold;
  if (!sums.vanishing) {
    const long double half = sums.observed / 2;
    const long double halfError = half * chainError(sums.observedSteps);
    const bool everyTable = sums.leftOut.firstLeftOut > sums.leftOut.lastLeftOut;
    const Bounds doubleTail = share(sums.added.total(), sums.added.error(), sums);
    const Bounds midP =
        everyTable ? complement(share(half, halfError, sums))
                   : share(sums.added.total() - half,
                           sums.added.error() + halfError + kUnit * sums.added.total(), sums);
    result.pDoubleTail = everyTable ? 1 : static_cast<double>(doubleTail.value);
    result.pMidP = static_cast<double>(midP.value);
    const bool doubleTailSettled = everyTable || settled(doubleTail, threshold);
    const bool midPSettled = settled(midP, threshold);
    if (!doubleTailSettled || !midPSettled) {
      const FisherPValues exact = resumFisherTables(t, a, sums.leftOut);
      if (!doubleTailSettled) result.pDoubleTail = exact.doubleTail;
      if (!midPSettled) result.pMidP = exact.midP;
    }
  }
  result.significantDoubleTail = result.threshold > result.pDoubleTail ? 1 : 0;
  result.significantMidP = result.threshold > result.pMidP ? 1 : 0;
  return result;
}

FisherResult sumFisherTables(const PairComparison& pair, double threshold) {
  return sumFisherTables(pair, threshold, nullptr);
}

}  // namespace brevox
