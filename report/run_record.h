#pragma once

#include <array>
#include <cstdint>
#include <map>
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

/// A pair of the lower triangle (work A after work B) with its mirror above the diagonal, the
/// same two works in the other order; null when the run tested no such pair.
struct MirroredPair {
  const PairRecord* lower = nullptr;
  const PairRecord* upper = nullptr;
};

/// The pairs of a criterion's lower triangle in the run's order, each with its mirror: the
/// binomial test's two directions, and the one record of the symmetric tests.
inline std::vector<MirroredPair> mirroredPairs(const CriterionRecord& criterion) {
  std::map<std::pair<std::uint32_t, std::uint32_t>, const PairRecord*> byWorks;
  for (const PairRecord& record : criterion.pairs) {
    byWorks[{record.pair.workA, record.pair.workB}] = &record;
  }
  std::vector<MirroredPair> mirrored;
  for (const PairRecord& record : criterion.pairs) {
    if (record.pair.workB >= record.pair.workA) continue;
    const auto upper = byWorks.find({record.pair.workB, record.pair.workA});
    mirrored.push_back({&record, upper == byWorks.end() ? nullptr : upper->second});
  }
  return mirrored;
}

}  // namespace brevox
