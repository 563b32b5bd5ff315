#pragma once

#include "stats/fisher_exact.h"
#include "stats/pair_comparison.h"

namespace brevox {

/// Fisher's exact test from the probabilities of the tables relative to the most probable one,
/// carried from one table to the next by their ratio, which is a ratio of whole numbers. Which
/// tables count is decided on the exact probabilities, equal ones included: where two lie within
/// the bounds of their rounding, on the whole numbers themselves. The p-values are the exact sums
/// of the added tables' probabilities rounded to double, or lie within 4e-16 of them (relatively),
/// where a bound on the sums' error settles that their six digits and their flags are those of the
/// exact sums; the rest is summed again at 50 digits (resumFisherTables). Only the tables that can
/// matter are visited, a few tens of standard deviations of them whatever the totals; where the
/// observed table is below 2^-1200 of the most probable one, both p-values are 0 in double and
/// nothing more is summed. Preconditions: observedA <= totalA, observedB <= totalB,
/// totalA + totalB < 2^31.
FisherResult sumFisherTables(const PairComparison& pair, double threshold);

}  // namespace brevox
