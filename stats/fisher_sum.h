#pragma once

#include "stats/fisher_exact.h"
#include "stats/pair_comparison.h"

namespace brevox {

/// Fisher's exact test with the densities of the tables carried from one table to the next by
/// their ratio, and the library's density asked only for tables whose probability lies close to
/// the observed one's. Adds exactly the tables that a comparison of the library's densities adds;
/// where that is every possible table, the double tail is exactly 1 and the mid-p value 1 less half
/// the observed probability, rounded once. Elsewhere the p-values print the six digits, and the
/// flags are those, of the exact sums of the probabilities of the added tables rounded to double:
/// the fast sums, within about 1e-13 of the exact ones, stand wherever a bound on their error
/// settles that, and the rest is summed again at 50 digits (resumFisherTables). Where the observed
/// probability lies below 1e-280 the library's densities underflow, and the p-values are the sums
/// of its densities, as the table-by-table test forms them: far below any threshold. Only the
/// tables whose probability is not 0 in double are visited, and the library is asked no more than
/// about a second's worth of densities (one of them can take seconds at hundreds of millions of
/// cases): beyond that, an accurate density of our own takes its place. Preconditions (the
/// statistics library throws otherwise): observedA <= totalA, observedB <= totalB,
/// totalA + totalB < 2^31.
FisherResult sumFisherTables(const PairComparison& pair, double threshold);

}  // namespace brevox
