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
/// `addedTables` is given it receives the run from the first to the last table that the library's
/// densities find more probable than the observed one.
FisherResult literalFisherTest(const PairComparison& pair, double threshold,
                               AddedTables* addedTables = nullptr);

/// The tables that Fisher's sum adds, decided on whole numbers: the arrangements of each table,
/// choose(r, x) choose(N - r, n - x), against those of the observed one. The run from the first
/// to the last table with more arrangements. The numbers have as many bits as choose(N, n), so
/// this is for small totals.
AddedTables exactAddedTables(const PairComparison& pair);

/// Fisher's p-values of the tables that `addedTables` adds, from exact whole numbers: the
/// arrangements of the added tables, choose(r, x) choose(N - r, n - x) summed, over those of all
/// tables, choose(N, n), each quotient rounded once to double; the flags compare those doubles
/// with the threshold. For small totals, as exactAddedTables.
FisherResult exactFisherTest(const PairComparison& pair, double threshold,
                             const AddedTables& addedTables);

/// One entry per possible count of occurrences in the first work, from the lowest possible one
/// up: whether `tables` adds that table.
std::vector<std::uint8_t> everyAddedTable(const AddedTables& tables, const PairComparison& pair);

}  // namespace brevox::oracle
