#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "stats/families.h"
#include "stats/pair_comparison.h"

namespace brevox {

/// Each variant's outcome for one pair, indexed by the variant; none where its family did not run.
using VariantOutcomes = std::array<std::optional<VariantOutcome>, kVariantCount>;

/// One ordered pair of works of a criterion as the run tested it: its table, each family's result
/// (for the detailed reports) and each variant's outcome. Computed once, handed to every output.
struct TestedPair {
  std::uint32_t workA = 0;  ///< the row of the criterion's tables
  std::uint32_t workB = 0;  ///< the column
  /// None for the diagonal and for a work without cases: nothing is tested there.
  std::optional<PairComparison> table;
  FamilyResults tests;
  VariantOutcomes outcomes;
};

/// What the outputs keep of a tested pair once its reports are written: its table and outcomes.
struct PairOutcomes {
  PairComparison pair;
  VariantOutcomes outcomes;
};

/// A pair of the lower triangle (work A after work B) with its mirror above the diagonal, the
/// same two works in the other order: the binomial test's two directions, and the one record of
/// the symmetric tests.
struct MirroredPair {
  const PairOutcomes* lower = nullptr;  ///< never null
  const PairOutcomes* upper = nullptr;  ///< null where the run did not test the mirror
};

/// The lower triangle's pairs among `pairs` (in the run's order), each with its mirror; they point
/// into `pairs`.
std::vector<MirroredPair> mirroredPairs(const std::vector<PairOutcomes>& pairs);

}  // namespace brevox
