#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "report/variants.h"
#include "stats/families.h"
#include "stats/pair_comparison.h"

namespace brevox {

/// What the tests of one ordered pair of works found under a criterion.
struct PairRecord {
  PairComparison pair;
  std::array<std::optional<VariantOutcome>, kVariantCount> outcomes;
};

/// What a full run found under one criterion, kept for the outputs drawn from the whole run: the
/// ordered pairs it tested, in the run's order (row work A, then column work B, both ascending),
/// and the DOT text of each graph it wrote for the criterion (empty where it drew none).
struct CriterionRecord {
  std::uint32_t criterion = 0;
  std::vector<PairRecord> pairs;
  std::array<std::string, kGraphCount> graphs;
};

}  // namespace brevox
