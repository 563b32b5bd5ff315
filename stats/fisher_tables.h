#pragma once

#include <cstdint>

#include "stats/pair_comparison.h"

namespace brevox {

/// The possible tables with the margins of a pair. The first work's cases are the marked items and
/// all occurrences the sample drawn from all cases; a table is known by its count of occurrences in
/// the first work, from `lowest` to `highest`. The probability of the table one count up over that
/// of the table at x is (r - x)(n - x) / ((x + 1)(rest + x + 1)), every factor a whole number below
/// 2^31, and it only falls as x grows: `mode` is a most probable table.
struct FisherTables {
  std::uint32_t r = 0;           // cases of the first work
  std::uint32_t n = 0;           // occurrences of both works
  std::uint32_t population = 0;  // cases of both works
  std::int64_t rest = 0;         // population - r - n, cases of the second work less n
  std::uint32_t lowest = 0;
  std::uint32_t highest = 0;
  std::uint32_t mode = 0;
};

/// The tables of a pair. Preconditions: observedA <= totalA, observedB <= totalB,
/// totalA + totalB < 2^31.
FisherTables fisherTables(const PairComparison& pair);

/// Which tables Fisher's sum adds: every possible table but those strictly more probable than the
/// observed one. As the probabilities rise to the most probable tables and fall beyond them, those
/// are one run of counts of occurrences in the first work, from `firstLeftOut` to `lastLeftOut`;
/// none where the first lies above the last.
struct AddedTables {
  std::uint32_t firstLeftOut = 1;
  std::uint32_t lastLeftOut = 0;
};

/// Whether the table with `count` occurrences in the first work is added.
bool addsTable(const AddedTables& tables, std::uint32_t count);

}  // namespace brevox
