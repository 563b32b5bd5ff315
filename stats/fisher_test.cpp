#include "stats/fisher_test.h"

#include <algorithm>
#include <boost/math/distributions/hypergeometric.hpp>

namespace brevox {

FisherResult fisherExactTest(const PairComparison& pair, double threshold) {
  const std::uint32_t a = pair.observedA;
  const std::uint32_t b = pair.observedB;
  // The first work's cases are the marked items, all occurrences the sample drawn from all cases.
  const std::uint32_t marked = pair.totalA;
  const std::uint32_t drawn = a + b;
  const std::uint32_t all = (pair.totalA - a) + (pair.totalB - b) + b + a;
  const boost::math::hypergeometric_distribution<double> distribution(marked, drawn, all);

  const double pObserved = boost::math::pdf(distribution, a);
  double pDoubleTail = pObserved;
  double pMidP = 0.5 * pObserved;
  const std::uint32_t highest = std::min(marked, drawn);
  for (std::uint32_t x = 0;; ++x) {
    // Counts below the lowest possible one, where the other work would need more occurrences
    // than it has cases, are not tables.
    const bool possible = !(x + all < drawn + marked);
    if (x != a && possible) {
      const double px = boost::math::pdf(distribution, x);
      // Tables exactly as probable as the observed one count, without tolerance.
      if (pObserved >= px) {
        pDoubleTail += px;
        pMidP += px;
      }
    }
    if (x == highest) {
      break;
    }
  }

  FisherResult result;
  result.threshold = threshold;
  result.pDoubleTail = pDoubleTail;
  result.pMidP = pMidP;
  result.significantDoubleTail = threshold > pDoubleTail ? 1 : 0;
  result.significantMidP = threshold > pMidP ? 1 : 0;
  return result;
}

}  // namespace brevox
