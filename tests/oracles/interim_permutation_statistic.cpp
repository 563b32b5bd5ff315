#include <cstdint>

#include "stats/permutation_test.h"

namespace brevox {

__extension__ typedef __int128 WideInteger;

double permutationStatistic(std::uint32_t occurrencesA, std::uint32_t totalA,
                            std::uint32_t occurrencesB, std::uint32_t totalB) {
  const std::int64_t a = occurrencesA;
  const std::int64_t nA = totalA;
  const std::int64_t b = occurrencesB;
  const std::int64_t nB = totalB;
  const std::int64_t all = nA + nB;
  const std::int64_t occurrences = a + b;
  const std::int64_t nonOccurrences = (nA - a) + (nB - b);
  if (occurrences == 0 || nonOccurrences == 0) return 1.0;
  const WideInteger difference = WideInteger{a} * (nB - b) - WideInteger{b} * (nA - a);
  const WideInteger numerator = all * difference * difference;
  const WideInteger denominator = WideInteger{nB} * nA * nonOccurrences * occurrences;
  return static_cast<double>(numerator) / static_cast<double>(denominator);
}

}  // namespace brevox
