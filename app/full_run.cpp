#include "app/full_run.h"

#include <cstdint>
#include <optional>
#include <string>

#include "data/input_data_writer.h"
#include "report/pair_reports.h"
#include "report/summary_matrix.h"
#include "report/variants.h"
#include "stats/families.h"
#include "stats/pair_comparison.h"

namespace brevox {

namespace {

/// What the run needs while it walks the pairs of one criterion.
struct CriterionPass {
  const RunOptions& options;
  const DataSet& data;
  EdgeRecords& records;
  CriterionFiles& files;
  std::ostream& out;
  std::ostream& err;
  bool anyTest = false;
  bool allWritten = true;
};

void addEdge(CriterionPass& pass, std::size_t graph, const PairComparison& pair, bool valid) {
  const std::string line =
      makeCriterionEdge(pair, valid, pass.options.dottedEdges, pass.records[graph], pass.data);
  writeGraphLine(pass.files, graph, line);
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
  if (pass.anyTest) pass.out << " ...vs. " << workShortName(data, workB);
  const bool lowerTriangle = workB < workA;
  if (lowerTriangle) writePooledProbabilityCell(pass.files, pair);

  // Each family runs and writes its report before the tables and graphs take its values.
  PairResults results;
  for (const FamilyDescriptor& family : kFamilies) {
    if (!familySelected(options, family.family) || !(family.bothOrders || lowerTriangle)) continue;
    // The permutation test's progress dots land on the console line of this pair.
    runFamily(family.family, pair, data.threshold, pass.out, results);
    if (!options.summaryOnly &&
        !writeFamilyReport(family.family, pairReportName(family.family, pair, data), pair, results,
                           data, pass.err)) {
      pass.allWritten = false;
    }
  }

  MergeSlot main;
  MergeSlot subordinate;
  for (const VariantDescriptor& variant : kVariants) {
    const std::optional<VariantOutcome> outcome = variantOutcome(variant.variant, pair, results);
    if (!outcome) continue;
    writeVariantCells(pass.files, variant.variant, *outcome);
    if (outcome->undefined) continue;
    if (outcome->flag == 1) addEdge(pass, index(variant.variant), pair, outcome->valid);
    const MergeSlot slot{outcome->valid, outcome->flag == 1};
    if (options.mergeMainTest == variant.mergeLetter) main = slot;
    if (options.mergeSubTest == variant.mergeLetter) subordinate = slot;
  }
  if (options.mergeGraphs) {
    if (const std::optional<bool> valid = mergedEdgeValidity(main, subordinate)) {
      addEdge(pass, kMergedGraph, pair, *valid);
    }
  }
}

// Returns false when a file of the criterion could not be opened: the run must stop.
bool processCriterion(CriterionPass& pass, std::uint32_t criterion) {
  CriterionSelection selection;
  for (const FamilyDescriptor& family : kFamilies) {
    selection.families[index(family.family)] = familySelected(pass.options, family.family);
  }
  selection.mergedGraph = pass.options.mergeGraphs;
  if (!openCriterionFiles(pass.files, selection, criterionShortName(pass.data, criterion),
                          pass.err)) {
    return false;
  }
  if (pass.anyTest) pass.out << "\n\n" << criterionShortName(pass.data, criterion);
  writeHeaderRow(pass.files, pass.data);
  for (const auto& [workA, shortNameA] : pass.data.workShortNames) {
    if (pass.anyTest) pass.out << "\n * " << shortNameA;
    startRow(pass.files, shortNameA);
    for (const auto& entryB : pass.data.workShortNames) {
      processPair(pass, criterion, workA, entryB.first);
    }
  }
  if (!closeCriterionFiles(pass.files, pass.err)) pass.allWritten = false;
  return true;
}

}  // namespace

int runFull(const RunOptions& options, const DataSet& data, EdgeRecords& records, std::ostream& out,
            std::ostream& err) {
  bool allWritten = writeInputDataFile("T_input_data.csv", data, err);
  for (const auto& entry : data.criterionShortNames) {
    CriterionFiles files;
    CriterionPass pass{options, data, records, files, out, err};
    pass.anyTest = anyFamilySelected(options);
    const bool completed = processCriterion(pass, entry.first);
    if (!pass.allWritten) allWritten = false;
    // A run that stopped half way must not look like a success.
    if (!completed) return -1;
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
  }
  out << "\n\n";
  return allWritten ? 0 : -1;
}

}  // namespace brevox
