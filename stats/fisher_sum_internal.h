#pragma once

#include "stats/fisher_exact.h"
#include "stats/fisher_sum.h"
#include "stats/fisher_tables.h"
#include "stats/pair_comparison.h"

namespace brevox {

/// As sumFisherTables, handing the tables it adds to `addedTables` where that is given: for the
/// tests, the fuzzer and the benchmark, which hold them to the table-by-table test's.
FisherResult sumFisherTables(const PairComparison& pair, double threshold,
                             AddedTables* addedTables);

}  // namespace brevox
