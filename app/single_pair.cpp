#include "app/single_pair.h"

#include <cstdint>

#include "data/data_set.h"
#include "report/pair_reports.h"
#include "stats/binomial.h"
#include "stats/chi_square.h"
#include "stats/fisher_exact.h"
#include "stats/pair_comparison.h"
#include "stats/permutation.h"

namespace brevox {

namespace {

// A single test is always judged at this level; the threshold of a data file is for full runs.
constexpr double kSingleTestThreshold = 0.05;

}  // namespace

int runSingleTest(const RunOptions& options, std::ostream& out, std::ostream& err) {
  const DataSet& data = dataSet();
  const std::uint32_t criterion = options.criterionNumber;
  if (data.criterionLongNames.count(criterion) == 0) {
    err << "Criterium n. " << criterion << " does not exist\n";
    return -1;
  }
  for (const std::uint32_t work : {options.workANumber, options.workBNumber}) {
    if (data.workLongNames.count(work) == 0) {
      err << "Work n. " << work << " does not exist\n";
      return -1;
    }
  }
  const CountPair countsA = countPair(data, options.workANumber, criterion);
  const CountPair countsB = countPair(data, options.workBNumber, criterion);
  // A work without any case of the criterion leaves nothing to compare: no proportion of
  // occurrences, no table worth testing.
  if (countsA.total == 0 || countsB.total == 0) {
    const std::uint32_t work = countsA.total == 0 ? options.workANumber : options.workBNumber;
    err << "Work n. " << work << " has no case of criterium n. " << criterion << '\n';
    return -1;
  }
  const PairComparison pair(options.workANumber, criterion, options.workBNumber, countsA.observed,
                            countsA.total, countsB.observed, countsB.total);

  bool written = false;
  if (options.runBinomial) {
    written = writeBinomialReport("binDistriTest.csv", pair,
                                  binomialTest(pair, kSingleTestThreshold), data, err);
  } else if (options.runChiSquare) {
    written = writeChiSquareReport("chiSqTest.csv", pair,
                                   chiSquareTests(pair, kSingleTestThreshold), data, err);
  } else if (options.runFisher) {
    written = writeFisherReport("fishTest.csv", pair, fisherExactTest(pair, kSingleTestThreshold),
                                data, err);
  } else if (options.runPermutation) {
    written = writePermutationReport("permutTest.csv", pair,
                                     permutationTest(pair, kSingleTestThreshold, out), data, err);
  } else {
    err << "No test selected\n";
  }
  // A run that wrote no report has not done what it was asked.
  return written ? 0 : -1;
}

}  // namespace brevox
