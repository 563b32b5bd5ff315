#pragma once

#include <cstdint>
#include <vector>

#include "stats/fisher_tables.h"

namespace brevox {

/// The sign of the product of `above` less the product of `below`: -1, 0 or 1, exactly. Every
/// factor is a whole number from 1 to 2^63. Equal factors on both sides cancel first, so the
/// mirrored tables of two works with as many cases each cost no more than a sort.
int compareProducts(std::vector<std::uint64_t> above, std::vector<std::uint64_t> below);

/// How the probability of the table with `x` occurrences in the first work compares with that
/// of the table with `y`: -1 below, 0 equal, 1 above, decided exactly. The ratio of the two is a
/// ratio of whole numbers, the factors of the neighbours' ratios between them; mirrored tables of
/// a symmetric distribution are equal at once, tables many counts apart are told apart by their
/// logarithms at 50 digits where those differ clearly. Preconditions: both tables possible.
int compareTables(const FisherTables& tables, std::uint32_t x, std::uint32_t y);

/// How the binomial probability of `i` successes in `trials` trials compares with that of `k`,
/// for the success probability successes / cases taken exactly (not rounded to double): -1, 0
/// or 1. Preconditions: successes <= cases, cases > 0, i and k at most trials, all below 2^31.
int compareCounts(std::uint32_t trials, std::uint32_t successes, std::uint32_t cases,
                  std::uint32_t i, std::uint32_t k);

}  // namespace brevox
