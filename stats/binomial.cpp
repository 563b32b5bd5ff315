#include "stats/binomial.h"

#include <boost/math/distributions/binomial.hpp>
#include <cstddef>

namespace brevox {

namespace {

// Smallest count j, searching upward from 0, whose cumulative probability reaches the tail
// share. The last entry is exactly 1 and the share at most 1, so the search ends in the table.
std::uint32_t lowerLimit(const std::vector<double>& cumulative, double share) {
  std::uint32_t j = 0;
  const auto last = static_cast<std::uint32_t>(cumulative.size() - 1);
  while (j < last && share > cumulative[j]) {
    ++j;
  }
  return j;
}

// Largest count c whose upper tail P(X >= c), taken as 1 - cumulative[c - 1], still reaches the
// tail share; the search walks down from the top count.
std::uint32_t upperLimit(const std::vector<double>& cumulative, double share) {
  const auto n = static_cast<std::uint32_t>(cumulative.size() - 1);
  std::uint32_t j = n;
  if (n > 0) {
    while (share > 1 - cumulative[j]) {
      --j;
      if (j == 0) {
        break;
      }
    }
  }
  if (j < n && 1 - cumulative[j] >= share) {
    return j + 1;
  }
  return j;
}

}  // namespace

BinomialResult binomialTest(const PairComparison& pair, double threshold) {
  BinomialResult result;
  const std::uint32_t n = pair.totalA;
  const std::uint32_t k = pair.observedA;
  const double p = static_cast<double>(pair.observedB) / static_cast<double>(pair.totalB);
  const boost::math::binomial_distribution<double> distribution(static_cast<double>(n), p);

  result.density.reserve(static_cast<std::size_t>(n) + 1);
  result.cumulative.reserve(static_cast<std::size_t>(n) + 1);
  double bestDensity = 0.0;
  for (std::uint32_t i = 0;; ++i) {
    const double x = static_cast<double>(i);
    result.density.push_back(boost::math::pdf(distribution, x));
    result.cumulative.push_back(boost::math::cdf(distribution, x));
    // Equally probable counts keep the lower one as the expected count.
    if (result.density[i] > bestDensity) {
      bestDensity = result.density[i];
      result.mode = i;
    }
    if (i == n) {
      break;
    }
  }
  const std::vector<double>& density = result.density;
  const std::vector<double>& cumulative = result.cumulative;

  result.observed = k;
  result.successProbability = p;
  result.observedDensity = density[k];
  result.modeDensity = density[result.mode];
  result.threshold = threshold;

  result.lowerLimitLeft = lowerLimit(cumulative, threshold);
  result.significantLeft = k < result.lowerLimitLeft ? 1 : 0;
  result.pLeft = cumulative[k];
  result.midPLeft = cumulative[k] - 0.5 * density[k];

  result.upperLimitRight = upperLimit(cumulative, threshold);
  result.significantRight = k > result.upperLimitRight ? 1 : 0;
  result.pRight = (1 - cumulative[k]) + density[k];
  result.midPRight = (1 - cumulative[k]) + 0.5 * density[k];

  const double halfThreshold = 0.5 * threshold;
  result.lowerLimitDoubleTail = lowerLimit(cumulative, halfThreshold);
  result.upperLimitDoubleTail = upperLimit(cumulative, halfThreshold);
  result.significantDoubleTail =
      (k < result.lowerLimitDoubleTail || k > result.upperLimitDoubleTail) ? 1 : 0;

  // The observed side's tail, plus the counts on the far side of the expected count that are no
  // more probable than the observed one, walking in from the far end.
  const double observedDensity = density[k];
  double pDoubleTail = 0;
  if (k < result.mode) {
    pDoubleTail = cumulative[k];
    for (std::uint32_t j = n; j > k; --j) {
      if (observedDensity < density[j]) {
        break;
      }
      pDoubleTail += density[j];
    }
  } else {
    pDoubleTail = (1 - cumulative[k]) + density[k];
    for (std::uint32_t j = 0; j < k; ++j) {
      if (observedDensity < density[j]) {
        break;
      }
      pDoubleTail += density[j];
    }
  }
  result.pDoubleTail = pDoubleTail;
  result.midPDoubleTail = pDoubleTail - 0.5 * density[k];
  return result;
}

}  // namespace brevox
