#include "stats/pair_comparison.h"

namespace brevox {

PairComparison::PairComparison(std::uint32_t workA_, std::uint32_t criterion_, std::uint32_t workB_,
                               std::uint32_t observedA_, std::uint32_t totalA_,
                               std::uint32_t observedB_, std::uint32_t totalB_)
    : workA(workA_),
      criterion(criterion_),
      workB(workB_),
      observedA(observedA_),
      totalA(totalA_),
      observedB(observedB_),
      totalB(totalB_),
      // Both sums are formed in 32 bits before the division, as the counts are kept.
      pooledProbability(static_cast<double>(observedA_ + observedB_) /
                        static_cast<double>(totalB_ + totalA_)) {}

}  // namespace brevox
