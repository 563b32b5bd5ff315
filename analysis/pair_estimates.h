#pragma once

#include <vector>

#include "stats/odds_ratio.h"
#include "stats/pair_comparison.h"
#include "stats/proportion_difference.h"

namespace brevox {

/// The estimates of one table: work A's proportion less work B's with Newcombe's interval, and
/// work A's odds over work B's with the exact interval.
struct PairEstimate {
  ProportionDifference difference;
  OddsRatioEstimate oddsRatio;
};

/// The estimates of each table, in their order, on up to `threads` threads (io/in_order: fewer
/// where there are few tables or the system gives fewer). The same whatever the threads.
std::vector<PairEstimate> pairEstimates(const std::vector<PairComparison>& tables,
                                        unsigned threads);

}  // namespace brevox
