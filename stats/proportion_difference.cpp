#include "stats/proportion_difference.h"

#include <cmath>
#include <limits>

#include "stats/wilson.h"

namespace brevox {

ProportionDifference proportionDifference(const PairComparison& pair, double confidence) {
  if (pair.totalA == 0 || pair.totalB == 0 || pair.observedA > pair.totalA ||
      pair.observedB > pair.totalB || !(confidence > 0 && confidence < 1)) {
    const double notANumber = std::numeric_limits<double>::quiet_NaN();
    return {notANumber, notANumber, notANumber};
  }
  const double z = twoSidedNormalQuantile(confidence);
  const ScoreInterval first = wilsonInterval(pair.observedA, pair.totalA, z);
  const ScoreInterval second = wilsonInterval(pair.observedB, pair.totalB, z);
  const double difference = first.proportion - second.proportion;
  // Each end takes the distance from each proportion to the end of its own interval that lies
  // on the side the difference moves to.
  return {difference,
          difference - std::hypot(first.proportion - first.low, second.high - second.proportion),
          difference + std::hypot(first.high - first.proportion, second.proportion - second.low)};
}

}  // namespace brevox
