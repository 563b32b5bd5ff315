#include "stats/homogeneity.h"

#include <boost/math/distributions/chi_squared.hpp>
#include <cmath>

namespace brevox {

namespace {

// Below this an expected count leaves the chi-square approximation loose, as for the pairs.
constexpr double kFewExpected = 5;

}  // namespace

HomogeneityTest homogeneityTest(const std::vector<CountPair>& works) {
  HomogeneityTest test;
  for (const CountPair& work : works) {
    if (work.total == 0) continue;
    ++test.works;
    test.occurrences += work.observed;
    test.cases += work.total;
  }
  if (test.works < 2) return test;
  if (test.occurrences == 0 || test.occurrences == test.cases) {
    test.noVariation = true;
    return test;
  }
  const double cases = static_cast<double>(test.cases);
  double statistic = 0;
  for (const CountPair& work : works) {
    if (work.total == 0) continue;
    const double total = work.total;
    const double expectedOccurrences = total * static_cast<double>(test.occurrences) / cases;
    const double expectedOthers = total - expectedOccurrences;
    const double occurrences = work.observed;
    const double others = total - occurrences;
    statistic += (occurrences - expectedOccurrences) * (occurrences - expectedOccurrences) /
                     expectedOccurrences +
                 (others - expectedOthers) * (others - expectedOthers) / expectedOthers;
    if (expectedOccurrences < kFewExpected || expectedOthers < kFewExpected) {
      test.fewExpected = true;
    }
  }
  test.chiSquare = statistic;
  test.degreesOfFreedom = test.works - 1;
  const boost::math::chi_squared_distribution<double> distribution(
      static_cast<double>(test.degreesOfFreedom));
  test.pValue = boost::math::cdf(boost::math::complement(distribution, statistic));
  test.cramersV = std::sqrt(statistic / cases);
  return test;
}

}  // namespace brevox
