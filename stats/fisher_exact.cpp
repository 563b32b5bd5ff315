#include "stats/fisher_exact.h"

#include "stats/fisher_sum.h"

namespace brevox {

FisherResult fisherExactTest(const PairComparison& pair, double threshold) {
  return sumFisherTables(pair, threshold);
}

}  // namespace brevox
