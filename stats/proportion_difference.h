#pragma once

#include "stats/pair_comparison.h"

namespace brevox {

/// The proportion of occurrences in the first work less that in the second, with Newcombe's
/// hybrid score interval (from the two works' Wilson score intervals, without continuity
/// correction).
struct ProportionDifference {
  double difference = 0;
  double low = 0;
  double high = 0;
};

/// A work without cases, a record with more occurrences than cases or a confidence outside
/// (0, 1) gives NaN in every field.
ProportionDifference proportionDifference(const PairComparison& pair, double confidence = 0.95);

}  // namespace brevox
