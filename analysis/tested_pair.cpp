#include "analysis/tested_pair.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace brevox {

std::vector<MirroredPair> mirroredPairs(const std::vector<PairOutcomes>& pairs) {
  // The records by their works, in one sorted list: a criterion of 200 works holds 40,000 of them.
  using Key = std::pair<std::uint32_t, std::uint32_t>;
  std::vector<std::pair<Key, const PairOutcomes*>> byWorks;
  byWorks.reserve(pairs.size());
  for (const PairOutcomes& record : pairs) {
    byWorks.push_back({{record.pair.workA, record.pair.workB}, &record});
  }
  // Of two records of the same works, the later one counts.
  std::stable_sort(byWorks.begin(), byWorks.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  auto find = [&](const Key& key) -> const PairOutcomes* {
    const auto after =
        std::upper_bound(byWorks.begin(), byWorks.end(), key,
                         [](const Key& k, const std::pair<Key, const PairOutcomes*>& entry) {
                           return k < entry.first;
                         });
    if (after == byWorks.begin() || std::prev(after)->first != key) return nullptr;
    return std::prev(after)->second;
  };
  std::vector<MirroredPair> mirrored;
  for (const PairOutcomes& record : pairs) {
    if (record.pair.workB >= record.pair.workA) continue;
    mirrored.push_back({&record, find({record.pair.workB, record.pair.workA})});
  }
  return mirrored;
}

}  // namespace brevox
