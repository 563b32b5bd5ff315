#pragma once

#include <cstdint>

#include "data/data_set.h"

namespace brevox {

/// The two-by-two table of one criterion and two works: occurrences and cases of each work.
/// The tests expect observedA <= totalA and observedB <= totalB.
struct PairComparison {
  PairComparison(std::uint32_t criterion, std::uint32_t workA, const CountPair& countsA,
                 std::uint32_t workB, const CountPair& countsB);

  std::uint32_t workA;
  std::uint32_t criterion;
  std::uint32_t workB;
  std::uint32_t observedA;
  std::uint32_t totalA;
  std::uint32_t observedB;
  std::uint32_t totalB;
  /// (observedA + observedB) / (totalA + totalB): the proportion of occurrences of both works.
  double pooledProbability;
};

}  // namespace brevox
