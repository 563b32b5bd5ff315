#include "app/full_run.h"

#include <cstdint>
#include <string>

#include "report/summary_matrix.h"
#include "data/data_set.h"
#include "data/input_data_writer.h"
#include "report/dot_graph.h"
#include "report/pair_reports.h"
#include "stats/binomial.h"
#include "stats/chi_square.h"
#include "stats/fisher_exact.h"
#include "stats/pair_comparison.h"
#include "stats/permutation.h"

namespace brevox {

namespace {

// Fewer cases than this in either work and a significant result is not trusted.
constexpr std::uint32_t kMinimumCases = 5;

/// What the run needs while it walks the pairs of one criterion.
struct CriterionPass {
  const RunOptions& options;
  const DataSet& data;
  CriterionFiles& files;
  std::ostream& out;
  std::ostream& err;
  bool allWritten = true;
};

/// The merge slots of the pair being processed: main and subordinate test.
struct PairSlots {
  MergeSlot main;
  MergeSlot subordinate;
};

// Hands a result to every merge slot whose test letter names it.
void fillSlots(const RunOptions& options, char letter, bool valid, std::int32_t flag,
               PairSlots& slots) {
  const MergeSlot filled{valid, flag == 1};
  if (options.mergeMainTest == letter) slots.main = filled;
  if (options.mergeSubTest == letter) slots.subordinate = filled;
}

void addEdge(CriterionPass& pass, GraphTag tag, const PairComparison& pair, bool valid) {
  const std::string line =
      makeCriterionEdge(pair, valid, pass.options.dottedEdges, edgeRecordMap(tag), pass.data);
  writeGraphLine(pass.files, tag, line);
}

std::string reportName(const char* prefix, const CriterionPass& pass, const PairComparison& pair) {
  return prefix + criterionShortName(pass.data, pair.criterion) + "_" +
         workShortName(pass.data, pair.workA) + "_" + workShortName(pass.data, pair.workB) + ".csv";
}

void processPair(CriterionPass& pass, std::uint32_t criterion, std::uint32_t workA,
                 std::uint32_t workB) {
  const RunOptions& options = pass.options;
  const DataSet& data = pass.data;
  const CountPair countsA = countPair(data, workA, criterion);
  const CountPair countsB = countPair(data, workB, criterion);
  if (workB == workA || countsA.total == 0 || countsB.total == 0) {
    writeEmptyCells(pass.files);
    return;
  }
  const PairComparison pair(workA, criterion, workB, countsA.observed, countsA.total,
                            countsB.observed, countsB.total);
  const bool anyTest =
      options.runBinomial || options.runChiSquare || options.runFisher || options.runPermutation;
  if (anyTest) pass.out << " ...vs. " << workShortName(data, workB);
  // The symmetric tests run once per pair of works, on the row of the higher number.
  const bool lowerTriangle = workB < workA;
  if (lowerTriangle) writePooledProbabilityCell(pass.files, pair);
  const bool enoughCases = countsA.total >= kMinimumCases && countsB.total >= kMinimumCases;
  const double threshold = data.threshold;
  PairSlots slots;

  if (options.runBinomial) {
    const BinomialResult result = binomialTest(pair, threshold);
    if (!options.summaryOnly &&
        !writeBinomialReport(reportName("binD_", pass, pair), pair, result, data, pass.err)) {
      pass.allWritten = false;
    }
    writeBinomialCells(pass.files, result, enoughCases);
    if (result.significantDoubleTail == 1) addEdge(pass, GraphTag::binD, pair, enoughCases);
    fillSlots(options, 'b', enoughCases, result.significantDoubleTail, slots);
  }

  if (options.runChiSquare && lowerTriangle) {
    const ChiSquareResult result = chiSquareTests(pair, threshold);
    if (!options.summaryOnly &&
        !writeChiSquareReport(reportName("chiSq_", pass, pair), pair, result, data, pass.err)) {
      pass.allWritten = false;
    }
    const bool pearsonValid = enoughCases && result.warningPearson == 0;
    const bool n1Valid = enoughCases && result.warningN1 == 0;
    writeChiSquareCells(pass.files, result, pearsonValid, n1Valid);
    // An expected count of 0 leaves the statistics undefined: no edge, no merge.
    if (result.warningPearson != 2) {
      if (result.significantPearson == 1) addEdge(pass, GraphTag::chisqP, pair, pearsonValid);
      if (result.significantYates == 1) addEdge(pass, GraphTag::chisqY, pair, pearsonValid);
      if (result.significantN1 == 1) addEdge(pass, GraphTag::chisqN1, pair, n1Valid);
      fillSlots(options, 'c', pearsonValid, result.significantPearson, slots);
      fillSlots(options, 'y', pearsonValid, result.significantYates, slots);
      fillSlots(options, 'n', n1Valid, result.significantN1, slots);
    }
  }

  if (options.runFisher && lowerTriangle) {
    const FisherResult result = fisherExactTest(pair, threshold);
    if (!options.summaryOnly &&
        !writeFisherReport(reportName("fish_", pass, pair), pair, result, data, pass.err)) {
      pass.allWritten = false;
    }
    writeFisherCells(pass.files, result, enoughCases);
    if (result.significantDoubleTail == 1) addEdge(pass, GraphTag::fishDt, pair, enoughCases);
    if (result.significantMidP == 1) addEdge(pass, GraphTag::fishMp, pair, enoughCases);
    fillSlots(options, 'f', enoughCases, result.significantDoubleTail, slots);
    fillSlots(options, 'm', enoughCases, result.significantMidP, slots);
  }

  if (options.runPermutation && lowerTriangle) {
    // The progress dots land on the console line of this pair.
    const PermutationResult result = permutationTest(pair, threshold, pass.out);
    if (!options.summaryOnly &&
        !writePermutationReport(reportName("perm_", pass, pair), pair, result, data, pass.err)) {
      pass.allWritten = false;
    }
    writePermutationCells(pass.files, result, enoughCases);
    if (result.significant == 1) addEdge(pass, GraphTag::perm, pair, enoughCases);
    fillSlots(options, 'p', enoughCases, result.significant, slots);
  }

  bool mergedValid = false;
  if (options.mergeGraphs && mergedEdge(slots.main, slots.subordinate, mergedValid)) {
    addEdge(pass, GraphTag::merged, pair, mergedValid);
  }
}

// Returns false when a file of the criterion could not be opened: the run must stop.
bool processCriterion(CriterionPass& pass, std::uint32_t criterion) {
  if (!openCriterionFiles(pass.files, pass.options, criterion, pass.data, pass.err)) return false;
  const RunOptions& options = pass.options;
  const bool anyTest =
      options.runBinomial || options.runChiSquare || options.runFisher || options.runPermutation;
  if (anyTest) pass.out << "\n\n" << criterionShortName(pass.data, criterion);
  writeHeaderRow(pass.files, pass.data);
  for (const auto& [workA, shortNameA] : pass.data.workShortNames) {
    if (anyTest) pass.out << "\n * " << shortNameA;
    startRow(pass.files, shortNameA);
    for (const auto& entryB : pass.data.workShortNames) {
      processPair(pass, criterion, workA, entryB.first);
    }
  }
  if (!closeCriterionFiles(pass.files, pass.err)) pass.allWritten = false;
  return true;
}

}  // namespace

int runFull(const RunOptions& options, std::ostream& out, std::ostream& err) {
  const DataSet& data = dataSet();
  bool allWritten = writeInputDataFile("T_input_data.csv", data, err);
  for (const auto& entry : data.criterionShortNames) {
    CriterionFiles files;
    CriterionPass pass{options, data, files, out, err};
    const bool completed = processCriterion(pass, entry.first);
    if (!pass.allWritten) allWritten = false;
    // A run that stopped half way must not look like a success.
    if (!completed) return -1;
  }

  const struct {
    bool selected;
    GraphTag tag;
    const char* fileName;
    const char* header;
  } allCriteriaGraphs[] = {
      {options.runBinomial, GraphTag::binD, "graphBinDAllCriteria.gv", "digraph binD_all_cr"},
      {options.runFisher, GraphTag::fishDt, "graphFishDtAllCriteria.gv", "digraph fishDt_all_cr"},
      {options.runFisher, GraphTag::fishMp, "graphFishMpAllCriteria.gv", "digraph fishMp_all_cr"},
      {options.runChiSquare, GraphTag::chisqP, "graphChiSqPAllCriteria.gv",
       "digraph chiSqP_all_cr"},
      {options.runChiSquare, GraphTag::chisqY, "graphChiSqYAllCriteria.gv",
       "digraph chiSqY_all_cr"},
      {options.runChiSquare, GraphTag::chisqN1, "graphChiSqN1AllCriteria.gv",
       "digraph chiSqN1_all_cr"},
      {options.runPermutation, GraphTag::perm, "graphPermAllCriteria.gv", "digraph perm_all_cr"},
      {options.mergeGraphs, GraphTag::merged, "graphMergedAllCriteria.gv", "digraph merged_all_cr"},
  };
  for (const auto& graph : allCriteriaGraphs) {
    if (!graph.selected) continue;
    if (!writeAllCriteriaGraph(graph.fileName, graph.header, options.dottedEdges,
                               edgeRecordMap(graph.tag), data, err)) {
      allWritten = false;
    }
  }
  out << "\n\n";
  return allWritten ? 0 : -1;
}

}  // namespace brevox
