#include "stats/chi_square.h"

#include <algorithm>
#include <boost/math/distributions/chi_squared.hpp>
#include <cmath>
#include <limits>

namespace brevox {

namespace {

// The three statistics of the table in `result`; returns the smallest expected cell.
double fillStatistics(const PairComparison& pair, ChiSquareResult& result) {
  const double a = pair.observedA;
  const double nA = pair.totalA;
  const double b = pair.observedB;
  const double nB = pair.totalB;
  const double aNon = nA - a;
  const double bNon = nB - b;
  const double n = nB + nA;
  const double occurrences = b + a;
  const double nonOccurrences = bNon + aNon;

  const double expectedA = occurrences * nA / n;
  const double expectedB = occurrences * nB / n;
  const double expectedANon = nonOccurrences * nA / n;
  const double expectedBNon = nonOccurrences * nB / n;

  const double dA = a - expectedA;
  const double dB = b - expectedB;
  const double dANon = aNon - expectedANon;
  const double dBNon = bNon - expectedBNon;
  result.chiPearson = dB * dB / expectedB + dA * dA / expectedA + dANon * dANon / expectedANon +
                      dBNon * dBNon / expectedBNon;
  // The continuity correction is not clamped: a deviation below 0.5 still contributes.
  const double yB = std::abs(dB) - 0.5;
  const double yA = std::abs(dA) - 0.5;
  const double yANon = std::abs(dANon) - 0.5;
  const double yBNon = std::abs(dBNon) - 0.5;
  result.chiYates = yB * yB / expectedB + yA * yA / expectedA + yANon * yANon / expectedANon +
                    yBNon * yBNon / expectedBNon;
  result.chiN1 = (n - 1) * result.chiPearson / n;
  return std::min({expectedA, expectedB, expectedANon, expectedBNon});
}

}  // namespace

ChiSquareResult chiSquareTests(const PairComparison& pair, double threshold) {
  ChiSquareResult result;
  result.threshold = threshold;
  const double minExpected = fillStatistics(pair, result);
  // A table without occurrences, without non-occurrences or without cases in a work has an
  // empty expected cell (0, or 0/0 when neither work has a case): the statistics are not finite
  // and have no p-value.
  if (!(minExpected > 0)) {
    result.minExpected = 0;
    result.warningPearson = ChiSquareWarning::expectedZero;
    result.warningN1 = ChiSquareWarning::expectedZero;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    result.pPearson = nan;
    result.pYates = nan;
    result.pN1 = nan;
    return result;
  }
  result.minExpected = minExpected;
  result.warningPearson = minExpected < 5 ? ChiSquareWarning::fewCases : ChiSquareWarning::none;
  result.warningN1 = minExpected < 1 ? ChiSquareWarning::fewCases : ChiSquareWarning::none;

  const boost::math::chi_squared_distribution<double> distribution(1.0);
  result.pPearson = boost::math::cdf(boost::math::complement(distribution, result.chiPearson));
  result.significantPearson = threshold > result.pPearson ? 1 : 0;
  result.pYates = boost::math::cdf(boost::math::complement(distribution, result.chiYates));
  result.significantYates = threshold > result.pYates ? 1 : 0;
  result.pN1 = boost::math::cdf(boost::math::complement(distribution, result.chiN1));
  result.significantN1 = threshold > result.pN1 ? 1 : 0;
  return result;
}

}  // namespace brevox
