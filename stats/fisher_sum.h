#pragma once

#include <cstdint>
#include <vector>

#include "stats/fisher_exact.h"
#include "stats/pair_comparison.h"

namespace brevox {

/// Fisher's exact test with the densities of the tables carried from one table to the next by
/// their ratio, and the library's density asked only for tables whose probability lies close to
/// the observed one's. Adds exactly the tables that a comparison of the library's densities adds;
/// the p-values agree with the table-by-table sum of those densities to about 1e-13 relative, and
/// where a p-value lies within 1e-9 of the threshold they are that sum, so the flags are the same.
/// When `addedTables` is given it receives one entry per possible count of occurrences in the
/// first work, from the lowest possible count up: 1 when that table is added (the observed table
/// included), else 0. Preconditions (the statistics library throws otherwise): observedA <= totalA,
/// observedB <= totalB, totalA + totalB < 2^30.
FisherResult sumFisherTables(const PairComparison& pair, double threshold,
                             std::vector<std::uint8_t>* addedTables = nullptr);

}  // namespace brevox
