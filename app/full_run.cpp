#include "app/full_run.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/in_order.h"
#include "data/input_data_writer.h"
#include "io/output_file.h"
#include "report/findings.h"
#include "report/html_report.h"
#include "report/pair_reports.h"
#include "report/results_table.h"
#include "report/run_record.h"
#include "report/summary_matrix.h"
#include "report/variants.h"
#include "stats/families.h"
#include "stats/pair_comparison.h"

namespace brevox {

namespace {

/// One cell of a criterion's tables, in the run's order: row work A, column work B, and what the
/// tests of the pair found.
struct PairWork {
  std::uint32_t workA = 0;
  std::uint32_t workB = 0;
  /// None for the diagonal and for a work without cases: nothing is tested there.
  std::optional<PairComparison> pair;
  std::array<std::optional<VariantOutcome>, kVariantCount> outcomes;
  /// The permutation test's dots and the report failures, when the pair was computed away from
  /// the console; they are printed in the run's order.
  std::string progress;
  std::string messages;
  bool reportsWritten = true;
};

/// What the run needs while it walks the pairs of one criterion.
struct CriterionPass {
  const RunOptions& options;
  const DataSet& data;
  std::uint32_t criterion;
  EdgeRecords& records;
  CriterionFiles& files;
  std::ostream& out;
  std::ostream& err;
  bool anyTest = false;
  bool allWritten = true;
  /// Filled when the run keeps what each criterion found for the outputs of the whole run.
  CriterionRecord* record = nullptr;
};

// Runs the selected families on the pair and writes their reports; the pair's trace (the work it
// is tested against and the permutation test's dots) goes to `progress`, report failures to
// `err`. Reads only what every pair may share.
void computePair(const CriterionPass& pass, PairWork& work, std::ostream& progress,
                 std::ostream& err) {
  const RunOptions& options = pass.options;
  const DataSet& data = pass.data;
  const CountPair countsA = countPair(data, work.workA, pass.criterion);
  const CountPair countsB = countPair(data, work.workB, pass.criterion);
  if (work.workB == work.workA || countsA.total == 0 || countsB.total == 0) return;
  const PairComparison& pair =
      work.pair.emplace(work.workA, pass.criterion, work.workB, countsA.observed, countsA.total,
                        countsB.observed, countsB.total);
  if (pass.anyTest) progress << " ...vs. " << workShortName(data, work.workB);
  // The symmetric tests run once per pair of works, on the row of the higher number.
  const bool lowerTriangle = work.workB < work.workA;
  // Each family runs and writes its report before the tables and graphs take its values.
  PairResults results;
  for (const FamilyDescriptor& family : kFamilies) {
    if (!familySelected(options, family.family) || !(family.bothOrders || lowerTriangle)) continue;
    runFamily(family.family, pair, data.threshold, progress, results);
    if (!options.summaryOnly &&
        !writeFamilyReport(family.family, pairReportName(family.family, pair, data), pair, results,
                           data, err)) {
      work.reportsWritten = false;
    }
  }
  for (const VariantDescriptor& variant : kVariants) {
    work.outcomes[index(variant.variant)] = variantOutcome(variant.variant, pair, results);
  }
}

void addEdge(CriterionPass& pass, std::size_t graph, const PairComparison& pair, bool valid) {
  const std::string line =
      makeCriterionEdge(pair, valid, pass.options.dottedEdges, pass.records[graph], pass.data);
  writeGraphLine(pass.files, graph, line);
}

// Puts what the pair's tests found into the criterion's tables and graphs.
void recordPair(CriterionPass& pass, const PairWork& work) {
  if (!work.reportsWritten) pass.allWritten = false;
  if (!work.pair) {
    writeEmptyCells(pass.files);
    return;
  }
  const PairComparison& pair = *work.pair;
  if (work.workB < work.workA) writePooledProbabilityCell(pass.files, pair);
  MergeSlot main;
  MergeSlot subordinate;
  for (const VariantDescriptor& variant : kVariants) {
    const std::optional<VariantOutcome>& outcome = work.outcomes[index(variant.variant)];
    if (!outcome) continue;
    writeVariantCells(pass.files, variant.variant, *outcome);
    if (outcome->undefined) continue;
    if (outcome->flag == 1) addEdge(pass, index(variant.variant), pair, outcome->valid);
    const MergeSlot slot{outcome->valid, outcome->flag == 1};
    if (pass.options.mergeMainTest == variant.mergeLetter) main = slot;
    if (pass.options.mergeSubTest == variant.mergeLetter) subordinate = slot;
  }
  if (pass.options.mergeGraphs) {
    if (const std::optional<bool> valid = mergedEdgeValidity(main, subordinate)) {
      addEdge(pass, kMergedGraph, pair, *valid);
    }
  }
}

// The local date and time, as a reader writes them: "8 December 2026, 14:03".
std::string currentTime() {
  static const char* const kMonths[] = {"January",   "February", "March",    "April",
                                        "May",       "June",     "July",     "August",
                                        "September", "October",  "November", "December"};
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return "";
  char clock[8];
  std::snprintf(clock, sizeof clock, "%02d:%02d", local.tm_hour, local.tm_min);
  return std::to_string(local.tm_mday) + " " + kMonths[local.tm_mon % 12] + " " +
         std::to_string(local.tm_year + 1900) + ", " + clock;
}

// The threads that test a criterion's pairs: no more than there are pairs to test, and, as each
// holds one report file open while it writes it, no more than the process may still open.
unsigned criterionThreads(const CriterionPass& pass, unsigned threads) {
  if (!pass.anyTest) return 1;
  std::size_t works = 0;
  for (const std::uint32_t work : workNumbers(pass.data)) {
    if (countPair(pass.data, work, pass.criterion).total != 0) ++works;
  }
  std::size_t most = works * (works - (works > 0 ? 1 : 0)) / 2;
  if (!pass.options.summaryOnly) {
    // A few descriptors stay free for what the run opens beside the reports.
    constexpr std::size_t kKeptFree = 4;
    const std::size_t spare = descriptorsToSpare();
    most = std::min(most, spare > kKeptFree ? spare - kKeptFree : 1);
  }
  return static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>(threads, most)));
}

// Returns false when the run must stop: a file of the criterion could not be opened, or the
// console trace could not be written.
bool processCriterion(CriterionPass& pass, unsigned requestedThreads) {
  CriterionSelection selection;
  for (const FamilyDescriptor& family : kFamilies) {
    selection.families[index(family.family)] = familySelected(pass.options, family.family);
  }
  selection.mergedGraph = pass.options.mergeGraphs;
  const std::string& criterionName = criterionShortName(pass.data, pass.criterion);
  if (!openCriterionFiles(pass.files, selection, criterionName, pass.err)) return false;
  if (pass.anyTest) pass.out << "\n\n" << criterionName;
  writeHeaderRow(pass.files, pass.data);

  // Pairs are numbered in the run's order, row by row; only those on their way from the tests to
  // the files are kept, so memory does not grow with the number of works.
  std::vector<std::uint32_t> numbers;
  for (const std::uint32_t work : workNumbers(pass.data)) numbers.push_back(work);
  const std::size_t rowLength = numbers.size();
  const unsigned threads = criterionThreads(pass, requestedThreads);
  const std::size_t window = 4 * static_cast<std::size_t>(threads);
  std::vector<PairWork> slots(window);
  // On one thread the pairs are tested in the run's order, with the console trace and the
  // messages as they come; on several, each pair keeps its own and the run prints them in order.
  const bool inPlace = threads <= 1;
  auto startRowOf = [&](std::size_t i) {
    if (i % rowLength != 0) return;
    const std::string& rowName = workShortName(pass.data, numbers[i / rowLength]);
    if (pass.anyTest) pass.out << "\n * " << rowName;
    startRow(pass.files, rowName);
  };
  auto compute = [&](std::size_t i) {
    PairWork& work = slots[i % window];
    work = PairWork{};
    work.workA = numbers[i / rowLength];
    work.workB = numbers[i % rowLength];
    if (inPlace) {
      startRowOf(i);
      computePair(pass, work, pass.out, pass.err);
      return;
    }
    std::ostringstream progress;
    std::ostringstream messages;
    computePair(pass, work, progress, messages);
    work.progress = progress.str();
    work.messages = messages.str();
  };
  auto consume = [&](std::size_t i) {
    const PairWork& work = slots[i % window];
    if (!inPlace) {
      startRowOf(i);
      pass.out << work.progress;
      pass.err << work.messages;
    }
    recordPair(pass, work);
    if (pass.record != nullptr && work.pair) {
      pass.record->pairs.push_back({*work.pair, work.outcomes});
    }
    // A trace that cannot be written (a closed pipe) ends the run as an interrupt would.
    return !pass.out.fail();
  };
  if (pass.record != nullptr) pass.record->criterion = pass.criterion;
  if (!computeInOrder(rowLength * rowLength, threads, window, compute, consume)) return false;
  if (!closeCriterionFiles(pass.files, pass.err)) pass.allWritten = false;
  if (pass.record != nullptr) pass.record->graphs = std::move(pass.files.graphTexts);
  return true;
}

}  // namespace

int runFull(const RunOptions& options, const RunCommand& command, const DataSet& data,
            EdgeRecords& records, unsigned threads, std::ostream& out, std::ostream& err) {
  bool allWritten = writeInputDataFile("T_input_data.csv", data, err);
  // The results table grows criterion by criterion; the page needs every criterion at its end.
  OutputFile results;
  OutputFile criteriaTable;
  OutputFile workTable;
  const bool resultsOpen = options.estimates && openOutputFile(results, kResultsTableFile, err) &&
                           openOutputFile(criteriaTable, kCriteriaTableFile, err) &&
                           openOutputFile(workTable, kWorkTableFile, err);
  if (options.estimates && !resultsOpen) allWritten = false;
  if (resultsOpen) {
    writeResultsHeader(results.stream);
    writeCriteriaHeader(criteriaTable.stream);
    writeWorkHeader(workTable.stream);
  }
  std::array<bool, kFamilyCount> families{};
  for (const FamilyDescriptor& family : kFamilies) {
    families[index(family.family)] = familySelected(options, family.family);
  }
  const std::optional<Variant> mergeMain =
      options.mergeGraphs ? variantOfMergeLetter(options.mergeMainTest) : std::nullopt;
  const std::optional<Variant> test = mainTest(families, mergeMain);
  std::vector<CriterionRecord> criteria;
  PageFacts page;
  for (const std::uint32_t criterion : criterionNumbers(data)) {
    CriterionFiles files;
    CriterionPass pass{options, data, criterion, records, files, out, err};
    pass.anyTest = anyFamilySelected(options);
    CriterionRecord record;
    if (options.estimates || options.htmlReport) pass.record = &record;
    const bool completed = processCriterion(pass, threads);
    if (!pass.allWritten) allWritten = false;
    // A run that stopped half way must not look like a success, nor leave a table that does.
    if (!completed) return -1;
    if (resultsOpen || options.htmlReport) {
      CriterionFindings findings = criterionFindings(record, data, test, threads);
      if (resultsOpen) {
        writeResultsRows(results.stream, record, data);
        writeCriteriaRow(criteriaTable.stream, findings, data);
        writeWorkRows(workTable.stream, findings, data);
      }
      if (options.htmlReport) page.findings.push_back(std::move(findings));
    }
    if (options.htmlReport) criteria.push_back(std::move(record));
  }

  // One graph over all criteria per variant of a selected family, then the merged one.
  for (std::size_t graph = 0; graph < kGraphCount; ++graph) {
    const bool selected = graph == kMergedGraph ? options.mergeGraphs
                                                : familySelected(options, kVariants[graph].family);
    if (!selected) continue;
    const GraphNames& names = graphNames(graph);
    if (!writeAllCriteriaGraph(names.allCriteriaFile, names.allCriteriaHeader, options.dottedEdges,
                               records[graph], data, err)) {
      allWritten = false;
    }
    if (options.htmlReport) {
      std::ostringstream text;
      page.allCriteriaArrows[graph] = writeAllCriteriaGraph(
          text, names.allCriteriaHeader, options.dottedEdges, records[graph], data, true);
      page.allCriteriaGraphs[graph] = text.str();
    }
  }
  if (resultsOpen) {
    for (OutputFile* table : {&results, &criteriaTable, &workTable}) {
      if (!closeOutputFile(*table, err)) allWritten = false;
    }
  }
  if (options.htmlReport) {
    page.dataFile = command.dataFile;
    page.sheetName = command.sheetName;
    page.optionText = command.optionText;
    page.runTime = currentTime();
    page.families = families;
    page.dottedEdges = options.dottedEdges;
    if (options.mergeGraphs) {
      page.mergeMain = variantOfMergeLetter(options.mergeMainTest);
      page.mergeSub = variantOfMergeLetter(options.mergeSubTest);
    }
    if (!writeHtmlReport("brevox_report.html", page, criteria, data, err)) allWritten = false;
  }
  out << "\n\n";
  return allWritten ? 0 : -1;
}

}  // namespace brevox
