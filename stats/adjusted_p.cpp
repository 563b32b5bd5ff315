#include "stats/adjusted_p.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace brevox {

namespace {

// Positions of the p-values that exist, stably sorted: equal p-values keep their input order.
std::vector<std::size_t> rankedPositions(const std::vector<double>& pValues, bool descending) {
  std::vector<std::size_t> positions;
  for (std::size_t i = 0; i < pValues.size(); ++i) {
    if (!std::isnan(pValues[i])) positions.push_back(i);
  }
  std::stable_sort(positions.begin(), positions.end(), [&](std::size_t x, std::size_t y) {
    return descending ? pValues[x] > pValues[y] : pValues[x] < pValues[y];
  });
  return positions;
}

}  // namespace

std::vector<double> holmAdjusted(const std::vector<double>& pValues) {
  std::vector<double> adjusted(pValues.size(), std::numeric_limits<double>::quiet_NaN());
  const std::vector<std::size_t> ascending = rankedPositions(pValues, false);
  const std::size_t m = ascending.size();
  double running = 0;
  for (std::size_t i = 0; i < m; ++i) {
    running = std::max(running, static_cast<double>(m - i) * pValues[ascending[i]]);
    adjusted[ascending[i]] = std::min(1.0, running);
  }
  return adjusted;
}

std::vector<double> benjaminiHochbergAdjusted(const std::vector<double>& pValues) {
  std::vector<double> adjusted(pValues.size(), std::numeric_limits<double>::quiet_NaN());
  const std::vector<std::size_t> descending = rankedPositions(pValues, true);
  const std::size_t m = descending.size();
  double running = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i < m; ++i) {
    // The rank of the i-th largest p-value counted from the smallest is m - i.
    const double factor = static_cast<double>(m) / static_cast<double>(m - i);
    running = std::min(running, factor * pValues[descending[i]]);
    adjusted[descending[i]] = std::min(1.0, running);
  }
  return adjusted;
}

}  // namespace brevox
