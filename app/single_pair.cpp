#include "app/single_pair.h"

#include <cstdint>
#include <string>

#include "report/output_names.h"
#include "report/pair_reports.h"
#include "report/variants.h"
#include "stats/families.h"
#include "stats/pair_comparison.h"

namespace brevox {

namespace {

// A single test is always judged at this level; the threshold of a data file is for full runs.
constexpr double kSingleTestThreshold = 0.05;

Failure refusal(const std::string& message) { return {message, ""}; }

}  // namespace

Outcome runSingleTest(const RunOptions& options, const DataSet& data, std::ostream& out) {
  const std::uint32_t criterion = options.criterionNumber;
  if (!hasCriterion(data, criterion)) {
    return refusal("Criterium n. " + std::to_string(criterion) + " does not exist");
  }
  for (const std::uint32_t work : {options.workANumber, options.workBNumber}) {
    if (!hasWork(data, work)) return refusal("Work n. " + std::to_string(work) + " does not exist");
  }
  const CountPair countsA = countPair(data, options.workANumber, criterion);
  const CountPair countsB = countPair(data, options.workBNumber, criterion);
  // A work without any case of the criterion leaves nothing to compare: no proportion of
  // occurrences, no table worth testing.
  if (countsA.total == 0 || countsB.total == 0) {
    const std::uint32_t work = countsA.total == 0 ? options.workANumber : options.workBNumber;
    return refusal("Work n. " + std::to_string(work) + " has no case of criterium n. " +
                   std::to_string(criterion));
  }
  const PairComparison pair(criterion, options.workANumber, countsA, options.workBNumber, countsB);
  for (const FamilyDescriptor& family : kFamilies) {
    if (!options.families[family.family]) continue;
    FamilyResults results;
    runFamily(family.family, pair, kSingleTestThreshold, out, results);
    // A run that wrote no report has not done what it was asked.
    return writeFamilyReport(family.family, singleTestReportFileName(family.family), pair, results,
                             data);
  }
  return refusal("No test selected");
}

}  // namespace brevox
