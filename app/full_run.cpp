#include "app/full_run.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "analysis/findings.h"
#include "analysis/order_bootstrap.h"
#include "analysis/order_fit.h"
#include "analysis/run_record.h"
#include "analysis/tested_pair.h"
#include "data/input_data_writer.h"
#include "io/in_order.h"
#include "io/output_file.h"
#include "report/order_tables.h"
#include "report/output_sink.h"
#include "report/page_sink.h"
#include "report/pair_reports.h"
#include "report/results_table.h"
#include "report/summary_matrix.h"
#include "report/variants.h"
#include "stats/families.h"
#include "stats/pair_comparison.h"

namespace brevox {

namespace {

/// One pair of works on its way from the tests to the outputs: what the tests found, and, when
/// it was computed away from the console, the trace it would have printed there (the work it is
/// tested against and the permutation test's dots); the failures of its reports, taken up in the
/// run's order.
struct PairJob {
  TestedPair tested;
  std::string progress;
  Failures failures;
  bool traced = false;  ///< the trace went to the console as the pair was computed
};

/// What the run needs while it walks the pairs of one criterion.
struct CriterionPass {
  const RunSettings& settings;
  const DataSet& data;
  std::uint32_t criterion;
  bool reports;  ///< each thread holds a report file open while it writes it
  Sinks& sinks;
  std::ostream& out;
  Failures& failures;
  ConsoleProgress* progress;  ///< the terminal's line in place of the trace, or none
};

// Runs the selected families on the pair; its trace goes to `progress`. Reads only what every
// pair may share.
void computePair(const CriterionPass& pass, TestedPair& tested, std::ostream& progress) {
  const DataSet& data = pass.data;
  const CountPair countsA = countPair(data, tested.workA, pass.criterion);
  const CountPair countsB = countPair(data, tested.workB, pass.criterion);
  if (tested.workB == tested.workA || countsA.total == 0 || countsB.total == 0) return;
  const PairComparison& pair =
      tested.table.emplace(pass.criterion, tested.workA, countsA, tested.workB, countsB);
  if (anyFamily(pass.settings.families)) {
    progress << " ...vs. " << workShortName(data, tested.workB);
  }
  // The symmetric tests run once per pair of works, on the row of the higher number.
  const bool lowerTriangle = tested.workB < tested.workA;
  for (const FamilyDescriptor& family : kFamilies) {
    if (!pass.settings.families[family.family] || !(family.bothOrders || lowerTriangle)) continue;
    runFamily(family.family, pair, pass.settings.threshold, progress, tested.tests);
  }
  for (const VariantDescriptor& variant : kVariants) {
    tested.outcomes[index(variant.variant)] = variantOutcome(variant.variant, pair, tested.tests);
  }
}

// The threads that test a criterion's pairs: no more than there are pairs to test, and, as each
// holds one report file open while it writes it, no more than the process may still open.
unsigned criterionThreads(const CriterionPass& pass) {
  if (!anyFamily(pass.settings.families)) return 1;
  std::size_t works = 0;
  for (const std::uint32_t work : workNumbers(pass.data)) {
    if (countPair(pass.data, work, pass.criterion).total != 0) ++works;
  }
  std::size_t most = works * (works - (works > 0 ? 1 : 0)) / 2;
  if (pass.reports) {
    // A few descriptors stay free for what the run opens beside the reports.
    constexpr std::size_t kKeptFree = 4;
    const std::size_t spare = descriptorsToSpare();
    most = std::min(most, spare > kKeptFree ? spare - kKeptFree : 1);
  }
  const unsigned threads = pass.settings.threads;
  return static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>(threads, most)));
}

// Tests the criterion's pairs on its threads and hands each to the outputs and the analysis in
// the run's order. Returns false when the trace could not be written: the run stops.
[[nodiscard]] bool walkPairs(CriterionPass& pass, CriterionAnalysis& analysis) {
  const bool anyTest = anyFamily(pass.settings.families);
  // Pairs are numbered in the run's order, row by row.
  std::vector<std::uint32_t> numbers;
  for (const std::uint32_t work : workNumbers(pass.data)) numbers.push_back(work);
  const std::size_t rowLength = numbers.size();
  // Every pair of two different works at most: the records are not moved as they grow.
  if (pass.settings.needs.findings && rowLength > 1) {
    analysis.pairs.reserve(rowLength * (rowLength - 1));
  }
  auto traceRowStart = [&](std::size_t i) {
    if (anyTest && i % rowLength == 0) {
      pass.out << "\n * " << workShortName(pass.data, numbers[i / rowLength]);
    }
  };
  auto compute = [&](std::size_t i, PairJob& job, bool inPlace) {
    job.tested.workA = numbers[i / rowLength];
    job.tested.workB = numbers[i % rowLength];
    job.traced = inPlace;
    if (inPlace) {
      traceRowStart(i);
      computePair(pass, job.tested, pass.out);
    } else {
      std::ostringstream progress;
      computePair(pass, job.tested, progress);
      job.progress = progress.str();
    }
    job.failures = pairComputed(pass.sinks, job.tested, pass.data);
  };
  auto take = [&](std::size_t i, PairJob& job) {
    if (!job.traced) {
      traceRowStart(i);
      pass.out << job.progress;
    }
    addFailures(pass.failures, std::move(job.failures));
    if (job.tested.workB < job.tested.workA) progressPair(pass.progress);
    takePair(pass.sinks, job.tested, pass.data);
    recordPair(analysis, job.tested, pass.settings);
    // A trace that cannot be written (a closed pipe) ends the run as an interrupt would.
    return !pass.out.fail();
  };
  const unsigned threads = criterionThreads(pass);
  // Room for a few dozen pairs a thread: the workers go on while a long pair (an exact test on
  // large totals) holds the calling thread.
  return computeInOrder<PairJob>(rowLength * rowLength, threads, 32 * std::size_t{threads}, compute,
                                 take);
}

// Returns false when the run must stop: a file of the criterion could not be opened, or the
// console trace could not be written.
[[nodiscard]] bool processCriterion(CriterionPass& pass, RunRecord& record) {
  if (Outcome failure = beginCriterion(pass.sinks, pass.criterion, pass.data)) {
    pass.failures.push_back(std::move(*failure));
    return false;
  }
  if (anyFamily(pass.settings.families)) {
    pass.out << "\n\n" << criterionShortName(pass.data, pass.criterion);
  }
  progressCriterion(pass.progress, pass.criterion, criterionShortName(pass.data, pass.criterion));
  CriterionAnalysis analysis;
  analysis.criterion = pass.criterion;
  if (!walkPairs(pass, analysis)) return false;
  endAnalysis(analysis, record, pass.data);
  addFailures(pass.failures, endCriterion(pass.sinks, analysis, record, pass.data));
  return true;
}

// How the run tests, draws and finds, from its options and data.
RunSettings runSettings(const RunOptions& options, const DataSet& data, unsigned threads) {
  RunSettings settings;
  settings.families = options.families;
  settings.dottedEdges = options.dottedEdges;
  if (options.mergeGraphs) {
    settings.mergeMain = variantOfMergeLetter(options.mergeMainTest);
    settings.mergeSub = variantOfMergeLetter(options.mergeSubTest);
  }
  settings.mainTest = mainTest(settings.families, settings.mergeMain);
  settings.threshold = data.threshold;
  settings.threads = threads;
  settings.needs.findings = options.estimates || options.htmlReport;
  settings.needs.pairEstimates = options.estimates;
  settings.needs.keptFindings = options.htmlReport;
  // The order's tables and the page's section on it.
  settings.needs.order = options.estimates || options.htmlReport;
  return settings;
}

// The outputs of the run, in the order in which they write.
Sinks chosenOutputs(const OutputChoice& choice, const RunSettings& settings,
                    const RunCommand& command, EdgeRecords& records) {
  Sinks sinks;
  if (choice.reports) sinks.push_back(pairReportsSink());
  sinks.push_back(summaryTablesSink(settings.families));
  // The page takes each criterion's graph texts from the graphs' output, which comes before it.
  std::shared_ptr<CriterionGraphTexts> texts;
  if (choice.page) texts = std::make_shared<CriterionGraphTexts>();
  sinks.push_back(graphsSink(settings, records, texts));
  if (choice.resultsTables) sinks.push_back(resultsTableSink());
  if (choice.orderFiles) sinks.push_back(orderFilesSink());
  if (choice.page) sinks.push_back(pageSink(command, records, texts));
  return sinks;
}

}  // namespace

OutputChoice outputChoice(const RunOptions& options) {
  OutputChoice choice;
  choice.singleTest = options.singleTest;
  choice.families = options.families;
  choice.reports = !options.summaryOnly;
  choice.mergedGraph = options.mergeGraphs && variantOfMergeLetter(options.mergeMainTest);
  choice.resultsTables = options.estimates;
  choice.orderFiles = options.estimates;
  choice.page = options.htmlReport;
  choice.inputData = !options.keepsInputData;
  return choice;
}

Failures runFull(const RunOptions& options, const RunCommand& command, const DataSet& data,
                 EdgeRecords& records, unsigned threads, std::ostream& out,
                 ConsoleProgress* progress) {
  const OutputChoice choice = outputChoice(options);
  RunRecord record;
  record.settings = runSettings(options, data, threads);
  Failures failures;
  if (choice.inputData) addFailure(failures, writeInputDataFile(inputDataFileName(), data));
  Sinks sinks = chosenOutputs(choice, record.settings, command, records);
  addFailures(failures, beginRun(sinks));
  for (const std::uint32_t criterion : criterionNumbers(data)) {
    CriterionPass pass{record.settings, data, criterion, choice.reports,
                       sinks,           out,  failures,  progress};
    // A run that stopped half way must not look like a success, nor leave a table that does.
    if (!processCriterion(pass, record)) return failures;
  }
  endRunAnalysis(record, data);
  addFailures(failures, endRun(sinks, record, data));
  out << "\n\n";
  return failures;
}

}  // namespace brevox
