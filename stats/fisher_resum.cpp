#include "stats/fisher_resum.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "stats/multiprecision.h"

namespace brevox {

namespace {

using Wide = boost::multiprecision::number<boost::multiprecision::cpp_bin_float<50>,
                                           boost::multiprecision::et_off>;

// The walk outwards stops once every table further out is added and all of them together are
// below this share of what the side adds already: far below the rounding of 50 digits.
const Wide kLeftOver = boost::multiprecision::ldexp(Wide(1), -200);

// The probability of the table one count further from the mode over that of the table at x, as
// a quotient of whole numbers below 2^62.
struct Ratio {
  std::uint64_t numerator = 0;
  std::uint64_t denominator = 0;
};

Ratio outwards(const FisherTables& t, std::uint32_t x, bool up) {
  if (up) {
    return {std::uint64_t{t.r - x} * (t.n - x),
            std::uint64_t{x + 1} * static_cast<std::uint64_t>(t.rest + x + 1)};
  }
  return {std::uint64_t{x} * static_cast<std::uint64_t>(t.rest + x),
          std::uint64_t{t.r - x + 1} * (t.n - x + 1)};
}

// The tables on one side of the mode, relative to the mode's probability.
struct Side {
  Wide all = 0;        // every table visited
  Wide added = 0;      // those of them the sum adds
  Wide beyond = 0;     // at least every table not visited, all of which are added
  Wide observed = -1;  // the observed table, where visited
  std::uint64_t steps = 0;
};

Side walk(const FisherTables& t, std::uint32_t observed, const AddedTables& added, bool up) {
  // The outermost table on this side that the sum leaves out: every table beyond it is added.
  // The tables left out, where there are any, hold the most probable one.
  std::uint32_t leftOut = t.mode;
  if (added.firstLeftOut <= added.lastLeftOut)
    leftOut = up ? added.lastLeftOut : added.firstLeftOut;
  Side side;
  Wide relative = 1;
  const std::uint32_t end = up ? t.highest : t.lowest;
  for (std::uint32_t x = t.mode; x != end;) {
    const Ratio step = outwards(t, x, up);
    relative *= step.numerator;
    relative /= step.denominator;
    x = up ? x + 1 : x - 1;
    ++side.steps;
    side.all += relative;
    if (addsTable(added, x)) side.added += relative;
    if (x == observed) side.observed = relative;
    if (x == end || (up ? x <= leftOut : x >= leftOut)) continue;
    // Further out the ratio of neighbours only falls, so the tables beyond add up to less than a
    // geometric series with this ratio.
    const Ratio next = outwards(t, x, up);
    if (next.numerator >= next.denominator) continue;
    const Wide rest = relative * next.numerator / (next.denominator - next.numerator);
    if (rest <= side.added * kLeftOver) {
      side.beyond = rest;
      break;
    }
  }
  return side;
}

// `part` of the tables over all of them, rounded to double, where the exact quotient lies within
// `error` (relative, of each sum) of the sums and the tables not visited add between 0 and
// `beyond` to both.
double rounded(const Wide& part, const Wide& all, const Wide& beyond, const Wide& error) {
  const Wide low = part * (1 - error) / ((all + beyond) * (1 + error));
  const Wide high = (part + beyond) * (1 + error) / (all * (1 - error));
  const double lowRounded = low.convert_to<double>();
  if (lowRounded == high.convert_to<double>()) return lowRounded;
  return Wide(part / all).convert_to<double>();
}

}  // namespace

FisherPValues resumFisherTables(const FisherTables& tables, std::uint32_t observed,
                                const AddedTables& added) {
  const Side below = walk(tables, observed, added, false);
  const Side above = walk(tables, observed, added, true);
  const Wide all = 1 + below.all + above.all;
  const Wide sum = (addsTable(added, tables.mode) ? 1 : 0) + below.added + above.added;
  const Wide beyond = below.beyond + above.beyond;
  // Half the observed table, or 0 where it lies beyond the tables visited: then it is part of
  // what they leave out, and the mid-p value lies between the same bounds as the double tail.
  Wide half = 0;
  if (observed == tables.mode) {
    half = 0.5;
  } else if (below.observed >= 0) {
    half = below.observed / 2;
  } else if (above.observed >= 0) {
    half = above.observed / 2;
  }
  // Each relative probability carries two roundings per step from the mode (the factors are exact
  // whole numbers), and each sum one per table added: each sum lies within (2 steps + tables)
  // roundings of its exact value, and epsilon is twice the unit of rounding. A few more cover
  // the bounds' own arithmetic. The mid-p value subtracts at most half of the double tail, which
  // at most triples the relative error.
  const std::uint64_t steps = std::max(below.steps, above.steps);
  const std::uint64_t visited = below.steps + above.steps + 1;
  const Wide error = std::numeric_limits<Wide>::epsilon() * (2 * steps + visited + 16);
  FisherPValues values;
  values.doubleTail = rounded(sum, all, beyond, error);
  values.midP = rounded(sum - half, all, beyond, 3 * error);
  return values;
}

}  // namespace brevox
