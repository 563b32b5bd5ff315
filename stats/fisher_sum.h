#pragma once

#include <cstdint>
#include <vector>

#include "stats/fisher_exact.h"
#include "stats/pair_comparison.h"

namespace brevox {

/// Which tables Fisher's sum adds. `added[i]` is 1 when the table with firstCount + i occurrences
/// in the first work is added (the observed one included), else 0. Every possible table outside
/// that window is added too: its probability is 0 in double.
struct AddedTables {
  std::uint32_t firstCount = 0;
  std::vector<std::uint8_t> added;
};

/// Fisher's exact test with the densities of the tables carried from one table to the next by
/// their ratio, and the library's density asked only for tables whose probability lies close to
/// the observed one's. Adds exactly the tables that a comparison of the library's densities adds;
/// the p-values agree with the table-by-table sum of those densities to about 1e-13 relative, and
/// where a p-value lies within 1e-9 of the threshold they are that sum, so the flags are the same.
/// Only the tables whose probability is not 0 in double are visited, and the library is asked no
/// more than about a second's worth of densities (one of them can take seconds at hundreds of
/// millions of cases): beyond that, an accurate density of our own takes its place and the
/// p-values are within about 1e-15 of the exact sums, the library's own error being up to 4e-11
/// there. Preconditions (the statistics library throws otherwise): observedA <= totalA,
/// observedB <= totalB, totalA + totalB < 2^31.
FisherResult sumFisherTables(const PairComparison& pair, double threshold,
                             AddedTables* addedTables = nullptr);

}  // namespace brevox
