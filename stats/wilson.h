#pragma once

#include <cstdint>

namespace brevox {

/// The proportion of occurrences in one work's cases with its Wilson score interval.
struct ScoreInterval {
  double proportion = 0;
  double low = 0;
  double high = 0;
};

/// Wilson's score interval of `observed` occurrences in `total` cases at the normal quantile `z`
/// (1.959963984540054 for 95%); it stays within [0, 1], also with no occurrence or nothing else.
/// Preconditions: 0 < total, observed <= total.
ScoreInterval wilsonInterval(std::uint32_t observed, std::uint32_t total, double z);

/// The same at a confidence level in (0, 1). A work without cases, more occurrences than cases or
/// a confidence outside (0, 1) gives NaN in every field.
ScoreInterval wilsonScoreInterval(std::uint32_t observed, std::uint32_t total,
                                  double confidence = 0.95);

/// The normal quantile that leaves (1 - confidence) / 2 above it.
double twoSidedNormalQuantile(double confidence);

}  // namespace brevox
