#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>

#include "stats/multiprecision.h"
#include "stats/pair_comparison.h"

namespace brevox {

/// Arrangement counts of the permutation test.
struct PermutationWeights {
  boost::multiprecision::cpp_int extremeWeight;  ///< arrangements at least as extreme as observed
  boost::multiprecision::cpp_int totalWeight;    ///< all arrangements, 2^(totalA + totalB)
};

/// The progress dots of the permutation test: one "." for every ten counts of the first work
/// (0, 10, 20, ...), written in blocks and flushed at most every tenth of a second.
struct ProgressDots {
  std::ostream& out;
  std::uint64_t total = 0;    ///< dots of the whole test: totalA / 10 + 1
  std::uint64_t written = 0;  ///< dots written so far
  std::chrono::steady_clock::time_point lastFlush;
};

/// The dots of a test whose first work has `totalA` cases, none written yet.
ProgressDots progressDots(std::ostream& out, std::uint32_t totalA);

/// Writes the dots of every count of the first work up to `count` that are not written yet.
void writeDotsThrough(ProgressDots& dots, std::uint32_t count);

/// Writes every dot that is still missing and flushes.
void finishDots(ProgressDots& dots);

/// Counts the arrangements of the permutation test without visiting every table: for each count
/// of occurrences in the first work, the tables less extreme than the observed one form one run
/// of counts in the second work, whose arrangements are summed from running sums of binomial
/// coefficients. Each table is still judged by permutationStatistic against the observed one
/// (equal statistics count as extreme), so both weights are exactly those of the table-by-table
/// count. Writes the dots of the counts of the first work it passes. Preconditions:
/// observedA <= totalA, observedB <= totalB, both totals below 2^31.
PermutationWeights countPermutationWeights(const PairComparison& pair, ProgressDots& dots);

/// As above, writing every dot to `progress`.
PermutationWeights countPermutationWeights(const PairComparison& pair, std::ostream& progress);

/// Whether countPermutationWeights finishes within a few seconds on this table.
bool exactCountFeasible(const PairComparison& pair);

/// The share of arrangements at least as extreme as the observed table, as the quotient of the
/// two weights of countPermutationWeights, with a bound on its distance from that quotient.
struct PermutationShare {
  long double value = 0;
  long double error = 0;  ///< |value - extremeWeight / totalWeight| <= error
};

/// The same judgements as countPermutationWeights, with the arrangements of each table weighed as
/// floating shares of all arrangements and only the counts of the first work that carry a
/// non-negligible part of the result visited. Writes the dots of those counts. Preconditions:
/// totalA > 0, totalB > 0, observedA <= totalA, observedB <= totalB, both totals below 2^31, and
/// an observed statistic above 0.
PermutationShare sumPermutationShares(const PairComparison& pair, ProgressDots& dots);

}  // namespace brevox
