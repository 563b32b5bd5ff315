#include "stats/pair_comparison.h"

namespace brevox {

PairComparison::PairComparison(std::uint32_t criterion_, std::uint32_t workA_,
                               const CountPair& countsA, std::uint32_t workB_,
                               const CountPair& countsB)
    : workA(workA_),
      criterion(criterion_),
      workB(workB_),
      observedA(countsA.observed),
      totalA(countsA.total),
      observedB(countsB.observed),
      totalB(countsB.total),
      // Both sums are formed in 32 bits before the division, as the counts are kept.
      pooledProbability(static_cast<double>(countsA.observed + countsB.observed) /
                        static_cast<double>(countsB.total + countsA.total)) {}

}  // namespace brevox
