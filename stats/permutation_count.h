#pragma once

#include <ostream>

#include "stats/pair_comparison.h"
#include "stats/permutation.h"

namespace brevox {

/// Counts the arrangements of the permutation test without visiting every table: for each count
/// of occurrences in the first work, the tables less extreme than the observed one form one run
/// of counts in the second work, whose arrangements are summed from running sums of binomial
/// coefficients. Each table is still judged by permutationStatistic against the observed one
/// (equal statistics count as extreme), so both weights are exactly those of the table-by-table
/// count. Writes one "." to `progress` for every ten counts of the first work. Preconditions:
/// observedA <= totalA, observedB <= totalB, both totals below 2^31.
PermutationWeights countPermutationWeights(const PairComparison& pair, std::ostream& progress);

}  // namespace brevox
