#include "stats/wilson.h"

#include <boost/math/distributions/normal.hpp>
#include <cmath>
#include <limits>

namespace brevox {

ScoreInterval wilsonInterval(std::uint32_t observed, std::uint32_t total, double z) {
  // Multiplied through by the total, so that counts, not proportions, enter the square root.
  const double r = observed;
  const double n = total;
  const double z2 = z * z;
  const double centre = r + z2 / 2;
  const double spread = z * std::sqrt(r * (n - r) / n + z2 / 4);
  return {r / n, (centre - spread) / (n + z2), (centre + spread) / (n + z2)};
}

double twoSidedNormalQuantile(double confidence) {
  const boost::math::normal_distribution<double> standard;
  return boost::math::quantile(boost::math::complement(standard, (1 - confidence) / 2));
}

ScoreInterval wilsonScoreInterval(std::uint32_t observed, std::uint32_t total, double confidence) {
  if (total == 0 || observed > total || !(confidence > 0 && confidence < 1)) {
    const double notANumber = std::numeric_limits<double>::quiet_NaN();
    return {notANumber, notANumber, notANumber};
  }
  return wilsonInterval(observed, total, twoSidedNormalQuantile(confidence));
}

}  // namespace brevox
