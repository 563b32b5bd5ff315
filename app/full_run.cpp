#include "app/full_run.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "data/input_data_writer.h"
#include "io/in_order.h"
#include "io/output_file.h"
#include "report/findings.h"
#include "report/html_report.h"
#include "report/output_names.h"
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
/// tested against and the permutation test's dots) and the messages of its reports, printed in
/// the run's order.
struct PairJob {
  PairResult result;
  std::string progress;
  std::string messages;
  bool traced = false;         ///< the trace went to the console as the pair was computed
  bool reportsWritten = true;  ///< every file written as the pair was computed is complete
};

/// What the run needs while it walks the pairs of one criterion.
struct CriterionPass {
  const RunOptions& options;
  const DataSet& data;
  std::uint32_t criterion;
  Sinks& sinks;
  std::ostream& out;
  std::ostream& err;
  bool anyTest = false;
  bool allWritten = true;
};

// Runs the selected families on the pair; its trace goes to `progress`. Reads only what every
// pair may share.
void computePair(const CriterionPass& pass, PairResult& result, std::ostream& progress) {
  const DataSet& data = pass.data;
  const CountPair countsA = countPair(data, result.workA, pass.criterion);
  const CountPair countsB = countPair(data, result.workB, pass.criterion);
  if (result.workB == result.workA || countsA.total == 0 || countsB.total == 0) return;
  const PairComparison& pair =
      result.table.emplace(pass.criterion, result.workA, countsA, result.workB, countsB);
  if (pass.anyTest) progress << " ...vs. " << workShortName(data, result.workB);
  // The symmetric tests run once per pair of works, on the row of the higher number.
  const bool lowerTriangle = result.workB < result.workA;
  for (const FamilyDescriptor& family : kFamilies) {
    if (!pass.options.families[family.family] || !(family.bothOrders || lowerTriangle)) continue;
    runFamily(family.family, pair, data.threshold, progress, result.tests);
  }
  for (const VariantDescriptor& variant : kVariants) {
    result.outcomes[index(variant.variant)] = variantOutcome(variant.variant, pair, result.tests);
  }
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
  if (!beginCriterion(pass.sinks, pass.criterion, pass.data)) return false;
  if (pass.anyTest) pass.out << "\n\n" << criterionShortName(pass.data, pass.criterion);
  // Pairs are numbered in the run's order, row by row.
  std::vector<std::uint32_t> numbers;
  for (const std::uint32_t work : workNumbers(pass.data)) numbers.push_back(work);
  const std::size_t rowLength = numbers.size();
  auto traceRowStart = [&](std::size_t i) {
    if (pass.anyTest && i % rowLength == 0) {
      pass.out << "\n * " << workShortName(pass.data, numbers[i / rowLength]);
    }
  };
  auto compute = [&](std::size_t i, PairJob& job, bool inPlace) {
    job.result.workA = numbers[i / rowLength];
    job.result.workB = numbers[i % rowLength];
    job.traced = inPlace;
    if (inPlace) {
      traceRowStart(i);
      computePair(pass, job.result, pass.out);
      job.reportsWritten = pairComputed(pass.sinks, job.result, pass.data, pass.err);
      return;
    }
    std::ostringstream progress;
    std::ostringstream messages;
    computePair(pass, job.result, progress);
    job.reportsWritten = pairComputed(pass.sinks, job.result, pass.data, messages);
    job.progress = progress.str();
    job.messages = messages.str();
  };
  auto take = [&](std::size_t i, PairJob& job) {
    if (!job.traced) {
      traceRowStart(i);
      pass.out << job.progress;
      pass.err << job.messages;
    }
    if (!job.reportsWritten) pass.allWritten = false;
    if (!takePair(pass.sinks, job.result, pass.data)) pass.allWritten = false;
    // A trace that cannot be written (a closed pipe) ends the run as an interrupt would.
    return !pass.out.fail();
  };
  const unsigned threads = criterionThreads(pass, requestedThreads);
  if (!computeInOrder<PairJob>(rowLength * rowLength, threads, 4 * std::size_t{threads}, compute,
                               take)) {
    return false;
  }
  if (!endCriterion(pass.sinks, pass.criterion, pass.data)) pass.allWritten = false;
  return true;
}

// The outputs of the run, chosen from the options in the order in which they write.
Sinks chosenOutputs(const RunOptions& options, const RunCommand& command, EdgeRecords& records,
                    unsigned threads, std::ostream& err) {
  GraphChoice graphs{options.families, options.dottedEdges, std::nullopt, std::nullopt};
  if (options.mergeGraphs) {
    graphs.mergeMain = variantOfMergeLetter(options.mergeMainTest);
    graphs.mergeSub = variantOfMergeLetter(options.mergeSubTest);
  }
  const OutputChoice choice = outputChoice(options);
  Sinks sinks;
  if (choice.reports) sinks.push_back(pairReportsSink());
  sinks.push_back(summaryTablesSink(options.families, err));
  sinks.push_back(graphsSink(graphs, records, err));
  if (choice.resultsTables) {
    sinks.push_back(resultsTableSink(mainTest(options.families, graphs.mergeMain), threads, err));
  }
  if (choice.page) {
    PageFacts facts;
    facts.dataFile = command.dataFile;
    facts.sheetName = command.sheetName;
    facts.optionText = command.optionText;
    facts.families = options.families;
    facts.dottedEdges = options.dottedEdges;
    facts.mergeMain = graphs.mergeMain;
    facts.mergeSub = graphs.mergeSub;
    sinks.push_back(pageSink(facts, graphs, records, threads, err));
  }
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
  choice.page = options.htmlReport;
  return choice;
}

int runFull(const RunOptions& options, const RunCommand& command, const DataSet& data,
            EdgeRecords& records, unsigned threads, std::ostream& out, std::ostream& err) {
  bool allWritten = writeInputDataFile(inputDataFileName(), data, err);
  Sinks sinks = chosenOutputs(options, command, records, threads, err);
  for (const std::uint32_t criterion : criterionNumbers(data)) {
    CriterionPass pass{options, data, criterion, sinks, out, err};
    pass.anyTest = anyFamily(options.families);
    const bool completed = processCriterion(pass, threads);
    if (!pass.allWritten) allWritten = false;
    // A run that stopped half way must not look like a success, nor leave a table that does.
    if (!completed) return -1;
  }
  if (!endRun(sinks, data)) allWritten = false;
  out << "\n\n";
  return allWritten ? 0 : -1;
}

}  // namespace brevox
