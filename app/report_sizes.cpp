#include "app/report_sizes.h"

#include <algorithm>
#include <optional>

#include "app/console.h"
#include "app/full_run.h"
#include "io/output_file.h"
#include "report/output_names.h"
#include "stats/binomial_distribution.h"
#include "stats/families.h"

namespace brevox {

namespace {

// A report's fixed lines beside the three long names, at most: the title, the header, the
// counts, and the tests' lines with their numbers of twelve characters at most.
constexpr std::uint64_t kBinomialFrame = 700;
constexpr std::uint64_t kOtherFrame = 600;
// A line of the binomial table after its count: two numbers and CR LF, or, where the
// distribution keeps no probability, ",0,0" or ",0,1" and CR LF; "nan" twice where the success
// probability cannot be one.
constexpr std::uint64_t kLongRow = 1 + 12 + 1 + 12 + 2;
constexpr std::uint64_t kShortRow = 6;
constexpr std::uint64_t kUndefinedRow = 1 + 3 + 1 + 3 + 2;
// Tables of fewer counts are reckoned long on every line: too small to matter, not worth the walk
// over their distribution.
constexpr std::uint64_t kAllRowsLong = 100000;

// The digits of every count from 0 to n.
std::uint64_t digitsUpTo(std::uint64_t n) {
  std::uint64_t sum = 1;  // the count 0
  std::uint64_t digits = 1;
  for (std::uint64_t low = 1; low <= n; low *= 10, ++digits) {
    sum += (std::min(n, low * 10 - 1) - low + 1) * digits;
  }
  return sum;
}

// The table of the binomial report: a line per count of occurrences of the first work.
std::uint64_t binomialTableBytes(std::uint32_t trials, double successProbability) {
  const std::uint64_t rows = std::uint64_t{trials} + 1;
  const std::uint64_t counts = digitsUpTo(trials);
  if (!(successProbability >= 0 && successProbability <= 1)) return counts + rows * kUndefinedRow;
  if (rows <= kAllRowsLong) return counts + rows * kLongRow;
  const BinomialShape shape = binomialShape(trials, successProbability);
  const std::uint64_t inside = std::uint64_t{shape.last} - shape.first + 1;
  return counts + inside * kLongRow + (rows - inside) * kShortRow;
}

// The report of `family` on the pair of works A and B under `criterion`.
std::uint64_t reportBytes(Family family, const DataSet& data, std::uint32_t criterion,
                          std::uint32_t workA, std::uint32_t workB) {
  std::uint64_t bytes = workLongName(data, workA).size() + workLongName(data, workB).size() +
                        criterionLongName(data, criterion).size();
  if (family != Family::binomial) return bytes + kOtherFrame;
  const CountPair countsB = countPair(data, workB, criterion);
  const double p = static_cast<double>(countsB.observed) / static_cast<double>(countsB.total);
  return bytes + kBinomialFrame + binomialTableBytes(countPair(data, workA, criterion).total, p);
}

std::uint64_t singleTestBytes(const RunOptions& options, const DataSet& data) {
  const std::uint32_t criterion = options.criterionNumber;
  const std::uint32_t workA = options.workANumber;
  const std::uint32_t workB = options.workBNumber;
  // Numbers outside the data, or a work without cases, are refused by the test itself.
  if (!hasCriterion(data, criterion) || !hasWork(data, workA) || !hasWork(data, workB) ||
      countPair(data, workA, criterion).total == 0 ||
      countPair(data, workB, criterion).total == 0) {
    return 0;
  }
  for (const FamilyDescriptor& family : kFamilies) {
    if (options.families[family.family]) {
      return reportBytes(family.family, data, criterion, workA, workB);
    }
  }
  return 0;
}

}  // namespace

std::uint64_t reportBytesAtMost(const RunOptions& options, const DataSet& data) {
  if (options.singleTest) return singleTestBytes(options, data);
  const OutputChoice choice = outputChoice(options);
  std::uint64_t bytes = 0;
  if (!choice.reports) return bytes;
  for (const std::uint32_t criterion : criterionNumbers(data)) {
    forEachPairReport(choice, data, criterion, [&](const PairReport& report) {
      bytes += reportBytes(report.family, data, criterion, report.workA, report.workB);
    });
  }
  return bytes;
}

Outcome checkFreeSpace(const RunOptions& options, const DataSet& data) {
  const std::uint64_t bytes = reportBytesAtMost(options, data);
  const std::optional<std::uint64_t> free = outputFolderFreeBytes();
  if (bytes == 0 || !free || bytes <= *free) return std::nullopt;
  const std::string size = "The reports of this run would take up to " + withThousands(bytes) +
                           " bytes (" + sizeForPeople(bytes) +
                           "), more than the output folder has free: ";
  const std::string another = "write into another folder with --output DIR; this run wrote nothing";
  if (options.singleTest) return Failure{size + another, ""};
  return Failure{size + "use option S to write the summary files alone, or " + another, ""};
}

}  // namespace brevox
