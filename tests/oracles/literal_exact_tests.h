#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "stats/fisher_exact.h"
#include "stats/fisher_tables.h"
#include "stats/pair_comparison.h"
#include "stats/permutation.h"
#include "stats/permutation_count.h"

namespace brevox::oracle {

/// Counts the arrangements of the permutation test by visiting every table, one exact product
/// each, writing one "." to `progress` for every ten counts of the first work. This is the
/// reference the counting shortcuts are held to. Preconditions as for countPermutationWeights.
PermutationWeights literalPermutationWeights(const PairComparison& pair, std::ostream& progress);

/// Fisher's exact test summed table by table with the library's density of each table. When
/// `addedTables` is given it receives every possible count of occurrences in the first work, from
/// the lowest possible one up: 1 when that table is no more probable than the observed one (the
/// observed table included), else 0.
FisherResult literalFisherTest(const PairComparison& pair, double threshold,
                               AddedTables* addedTables = nullptr);

/// Fisher's p-values of the tables that `addedTables` adds (as literalFisherTest reports them),
/// from exact whole numbers: the arrangements of the added tables, choose(r, x) choose(N - r, n -
/// x) summed, over those of all tables, choose(N, n), each quotient rounded once to double; the
/// flags compare those doubles with the threshold. The numbers have as many bits as choose(N, n),
/// so this is for small totals.
FisherResult exactFisherTest(const PairComparison& pair, double threshold,
                             const AddedTables& addedTables);

/// One entry per possible count of occurrences in the first work, from the lowest possible one
/// up: whether `tables` adds that table.
std::vector<std::uint8_t> everyAddedTable(const AddedTables& tables, const PairComparison& pair);

}  // namespace brevox::oracle
