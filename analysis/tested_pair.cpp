#include "analysis/tested_pair.h"

#include <map>
#include <utility>

namespace brevox {

std::vector<MirroredPair> mirroredPairs(const std::vector<PairOutcomes>& pairs) {
  std::map<std::pair<std::uint32_t, std::uint32_t>, const PairOutcomes*> byWorks;
  for (const PairOutcomes& record : pairs)
    byWorks[{record.pair.workA, record.pair.workB}] = &record;
  std::vector<MirroredPair> mirrored;
  for (const PairOutcomes& record : pairs) {
    if (record.pair.workB >= record.pair.workA) continue;
    const auto upper = byWorks.find({record.pair.workB, record.pair.workA});
    mirrored.push_back({&record, upper == byWorks.end() ? nullptr : upper->second});
  }
  return mirrored;
}

}  // namespace brevox
