#include "stats/proportion_difference.h"

#include <boost/math/distributions/normal.hpp>
#include <cmath>
#include <cstdint>
#include <limits>

namespace brevox {

namespace {

struct ScoreInterval {
  double proportion;
  double low;
  double high;
};

// Wilson's score interval of `observed` occurrences in `total` cases, multiplied through by the
// total so that counts, not proportions, enter the square root.
ScoreInterval wilsonInterval(std::uint32_t observed, std::uint32_t total, double z) {
  const double r = observed;
  const double n = total;
  const double z2 = z * z;
  const double centre = r + z2 / 2;
  const double spread = z * std::sqrt(r * (n - r) / n + z2 / 4);
  return {r / n, (centre - spread) / (n + z2), (centre + spread) / (n + z2)};
}

}  // namespace

ProportionDifference proportionDifference(const PairComparison& pair, double confidence) {
  if (pair.totalA == 0 || pair.totalB == 0 || pair.observedA > pair.totalA ||
      pair.observedB > pair.totalB || !(confidence > 0 && confidence < 1)) {
    const double notANumber = std::numeric_limits<double>::quiet_NaN();
    return {notANumber, notANumber, notANumber};
  }
  const boost::math::normal_distribution<double> standard;
  const double z = boost::math::quantile(boost::math::complement(standard, (1 - confidence) / 2));
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
