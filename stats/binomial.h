#pragma once

#include <cstdint>
#include <vector>

#include "stats/pair_comparison.h"

namespace brevox {

/// The binomial test of the first work's occurrences against the second work's proportion.
struct BinomialResult {
  std::vector<double> cumulative;  ///< P(X <= i), i = 0 .. totalA
  std::vector<double> density;     ///< P(X = i), i = 0 .. totalA
  std::uint32_t mode = 0;
  std::uint32_t observed = 0;
  double successProbability = 0;
  double modeDensity = 0;
  double observedDensity = 0;
  double threshold = 0;
  double pLeft = 0;
  double pRight = 0;
  double pDoubleTail = 0;
  double midPLeft = 0;
  double midPRight = 0;
  double midPDoubleTail = 0;
  std::uint32_t lowerLimitLeft = 0;
  std::uint32_t upperLimitRight = 0;
  std::uint32_t lowerLimitDoubleTail = 0;
  std::uint32_t upperLimitDoubleTail = 0;
  std::int32_t significantLeft = 0;
  std::int32_t significantRight = 0;
  std::int32_t significantDoubleTail = 0;
};

/// Tests observedA of totalA against the success probability observedB / totalB. A first work
/// without cases gives the certain outcome 0: every p-value 1, mid-p 0.5, limits and flags 0.
/// Preconditions (the statistics library throws otherwise): totalB > 0, observedA <= totalA,
/// observedB <= totalB, 0 < threshold <= 1.
BinomialResult binomialTest(const PairComparison& pair, double threshold);

}  // namespace brevox
