#include "tests/oracles/literal_exact_tests.h"

#include <boost/math/distributions/hypergeometric.hpp>
#include <boost/multiprecision/cpp_int.hpp>
#include <cstdint>
#include <vector>

namespace brevox::oracle {

using boost::multiprecision::cpp_int;

PermutationWeights literalPermutationWeights(const PairComparison& pair, std::ostream& progress) {
  const std::uint32_t a = pair.observedA;
  const std::uint32_t nA = pair.totalA;
  const std::uint32_t b = pair.observedB;
  const std::uint32_t nB = pair.totalB;
  const double observedStatistic = permutationStatistic(a, nA, b, nB);

  cpp_int factorialA = 1;
  for (std::uint32_t i = 2; i <= nA; ++i) factorialA *= i;
  cpp_int factorialB = 1;
  for (std::uint32_t i = 2; i <= nB; ++i) factorialB *= i;
  // choose(q, r) = q! / ((q - r)! r!), every factorial below q! built on the way up.
  auto coefficients = [](std::uint32_t q, const cpp_int& factorialQ) {
    std::vector<cpp_int> factorials(q + 1, cpp_int(1));
    for (std::uint32_t i = 1; i <= q; ++i) factorials[i] = factorials[i - 1] * i;
    std::vector<cpp_int> result(q + 1);
    for (std::uint32_t r = 0; r <= q; ++r)
      result[r] = factorialQ / (factorials[q - r] * factorials[r]);
    return result;
  };
  const std::vector<cpp_int> chooseA = coefficients(nA, factorialA);
  const std::vector<cpp_int> chooseB = coefficients(nB, factorialB);

  PermutationWeights weights;
  weights.extremeWeight = chooseA[a] * chooseB[b];
  weights.totalWeight = weights.extremeWeight;
  for (std::uint32_t j = 0; j <= nA; ++j) {
    if (j % 10 == 0) progress << '.';
    const cpp_int& weightA = chooseA[j];
    for (std::uint32_t k = 0; k <= nB; ++k) {
      if (j == a && k == b) continue;
      const cpp_int weight = weightA * chooseB[k];
      weights.totalWeight += weight;
      if (permutationStatistic(j, nA, k, nB) >= observedStatistic) weights.extremeWeight += weight;
    }
  }
  return weights;
}

FisherResult literalFisherTest(const PairComparison& pair, double threshold,
                               std::vector<std::uint8_t>* addedTables) {
  const std::uint32_t a = pair.observedA;
  const std::uint32_t b = pair.observedB;
  const std::uint32_t r = pair.totalA;
  const std::uint32_t n = a + b;
  const std::uint32_t population = (pair.totalA - a) + (pair.totalB - b) + b + a;
  const boost::math::hypergeometric_distribution<double> distribution(r, n, population);

  const double observedDensity = boost::math::pdf(distribution, a);
  FisherResult result;
  result.threshold = threshold;
  result.pDoubleTail = observedDensity;
  result.pMidP = 0.5 * observedDensity;
  const std::uint32_t highest = r < n ? r : n;
  const std::uint32_t lowest = n + r > population ? n + r - population : 0;
  if (addedTables != nullptr) addedTables->assign(highest - lowest + 1, 0);
  for (std::uint32_t x = 0; x <= highest; ++x) {
    if (x + population < n + r) continue;
    if (x != a) {
      const double density = boost::math::pdf(distribution, x);
      if (observedDensity < density) continue;
      result.pDoubleTail += density;
      result.pMidP += density;
    }
    if (addedTables != nullptr) (*addedTables)[x - lowest] = 1;
  }
  result.significantDoubleTail = threshold > result.pDoubleTail ? 1 : 0;
  result.significantMidP = threshold > result.pMidP ? 1 : 0;
  return result;
}

}  // namespace brevox::oracle
