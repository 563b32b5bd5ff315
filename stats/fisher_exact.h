#pragma once

#include <cstdint>

#include "stats/pair_comparison.h"

namespace brevox {

/// Fisher's exact test of one table, double tail and mid-p.
struct FisherResult {
  std::int32_t significantDoubleTail = 0;
  std::int32_t significantMidP = 0;
  double threshold = 0;
  double pDoubleTail = 0;
  double pMidP = 0;
};

/// Sums the hypergeometric probabilities of every table no more probable than the observed one.
/// Preconditions: observedA <= totalA, observedB <= totalB, totalA + totalB < 2^31.
FisherResult fisherExactTest(const PairComparison& pair, double threshold);

}  // namespace brevox
