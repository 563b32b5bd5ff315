#include "report/summary_matrix.h"

#include <vector>

#include "io/number_text.h"
#include "io/output_file.h"
#include "report/dot_graph.h"
#include "report/report_frame.h"

namespace brevox {

namespace {

constexpr std::size_t kNotOpened = kCriterionFileCount;

// A file to open: its name and its first line.
struct PlannedFile {
  std::string name;
  std::string firstLine;
  std::string* text;   // the copy of a graph's text, or nullptr
  std::size_t* place;  // where its position among the criterion's files is kept
};

PlannedFile plannedTable(const SummaryTable& table, const std::string& criterion,
                         std::size_t* place) {
  return {table.prefix + criterion + ".csv", table.title + criterion, nullptr, place};
}

PlannedFile plannedGraph(CriterionFiles& files, std::size_t graph, const std::string& criterion) {
  const std::string tag = graphNames(graph).tag;
  return {criterionGraphFile(graph, criterion), "digraph " + dotId(tag + "_" + criterion) + " {",
          &files.graphTexts[graph], &files.graphs[graph]};
}

// The criterion's files were not all opened: the run stops, and none of them is complete.
void discardAll(CriterionFiles& files) {
  for (std::size_t i = 0; i < files.count; ++i) {
    CriterionFile& file = files.files[i];
    if (file.open) discardOutputFile(file.output);
    file.open = false;
  }
}

// Opens a group of files together and then writes their first lines.
bool openGroup(CriterionFiles& files, const std::vector<PlannedFile>& group, std::ostream& err) {
  const std::size_t first = files.count;
  for (const PlannedFile& planned : group) {
    CriterionFile& file = files.files[files.count];
    file.graph = planned.text != nullptr;
    if (!openOutputFile(file.output, planned.name, err)) {
      discardAll(files);
      return false;
    }
    file.open = true;
    *planned.place = files.count++;
  }
  for (std::size_t i = 0; i < group.size(); ++i) {
    files.files[first + i].output.stream << group[i].firstLine << kLineEnd;
    if (group[i].text != nullptr) *group[i].text = group[i].firstLine + kLineEnd;
  }
  return true;
}

void writeCell(CriterionFiles& files, std::size_t place, bool valid, const std::string& text) {
  if (place == kNotOpened) return;
  CriterionFile& file = files.files[place];
  if (!valid) file.output.stream << '*';
  file.output.stream << text << ',';
}

std::string cellText(Quantity quantity, const VariantOutcome& outcome) {
  switch (quantity) {
    case Quantity::pValue:
      return formatDouble(outcome.pValue);
    case Quantity::midPValue:
      return formatDouble(outcome.midPValue);
    case Quantity::flag:
      break;
  }
  return passFlagText(outcome.flag);
}

}  // namespace

bool openCriterionFiles(CriterionFiles& files, const CriterionSelection& selection,
                        const std::string& criterionShortName, std::ostream& err) {
  files.count = 0;
  for (auto& places : files.tables) places.fill(kNotOpened);
  files.graphs.fill(kNotOpened);
  for (std::string& text : files.graphTexts) text.clear();
  std::size_t expectedProbability = kNotOpened;
  if (!openGroup(
          files,
          {plannedTable(kExpectedProbabilityTable, criterionShortName, &expectedProbability)},
          err)) {
    return false;
  }
  for (const Family family : kFileOrder) {
    if (!selection.families[index(family)]) continue;
    // A family's tables come first, variant by variant, then its graphs.
    std::vector<PlannedFile> group;
    for (const VariantDescriptor& variant : kVariants) {
      if (variant.family != family) continue;
      for (std::size_t t = 0; t < variant.tableCount; ++t) {
        group.push_back(plannedTable(variant.tables[t], criterionShortName,
                                     &files.tables[index(variant.variant)][t]));
      }
    }
    for (const VariantDescriptor& variant : kVariants) {
      if (variant.family != family) continue;
      group.push_back(plannedGraph(files, index(variant.variant), criterionShortName));
    }
    if (!openGroup(files, group, err)) return false;
  }
  if (selection.mergedGraph &&
      !openGroup(files, {plannedGraph(files, kMergedGraph, criterionShortName)}, err)) {
    return false;
  }
  return true;
}

void writeHeaderRow(CriterionFiles& files, const DataSet& data) {
  for (std::size_t i = 0; i < files.count; ++i) {
    CriterionFile& file = files.files[i];
    if (!file.open || file.graph) continue;
    for (const auto& [work, shortName] : workShortNames(data)) {
      file.output.stream << ',' << shortName;
    }
  }
}

void startRow(CriterionFiles& files, const std::string& workShortName) {
  for (std::size_t i = 0; i < files.count; ++i) {
    CriterionFile& file = files.files[i];
    if (file.open && !file.graph) file.output.stream << kLineEnd << workShortName << ',';
  }
}

void writeEmptyCells(CriterionFiles& files) {
  for (std::size_t i = 0; i < files.count; ++i) {
    CriterionFile& file = files.files[i];
    if (file.open && !file.graph) file.output.stream << ',';
  }
}

void writePooledProbabilityCell(CriterionFiles& files, const PairComparison& pair) {
  // The expected-probability table is always the first file of a criterion.
  writeCell(files, 0, true, formatDouble(pair.pooledProbability));
}

void writeVariantCells(CriterionFiles& files, Variant variant, const VariantOutcome& outcome) {
  const VariantDescriptor& descriptorOfVariant = descriptor(variant);
  for (std::size_t t = 0; t < descriptorOfVariant.tableCount; ++t) {
    // With an expected count of 0 the statistics mean nothing, whatever was stored for them.
    const std::string text =
        outcome.undefined ? "INVALID" : cellText(descriptorOfVariant.tables[t].quantity, outcome);
    writeCell(files, files.tables[index(variant)][t], outcome.valid, text);
  }
}

void writeGraphLine(CriterionFiles& files, std::size_t graph, const std::string& text) {
  const std::size_t place = files.graphs[graph];
  if (place != kNotOpened && files.files[place].open) {
    files.files[place].output.stream << text << kLineEnd;
    files.graphTexts[graph] += text + kLineEnd;
  }
}

bool closeCriterionFiles(CriterionFiles& files, std::ostream& err) {
  for (std::size_t i = 0; i < files.count; ++i) {
    CriterionFile& file = files.files[i];
    if (file.open && file.graph) file.output.stream << '}' << kLineEnd;
  }
  for (std::size_t graph = 0; graph < kGraphCount; ++graph) {
    if (files.graphs[graph] != kNotOpened) files.graphTexts[graph] += std::string("}") + kLineEnd;
  }
  bool allWritten = true;
  for (std::size_t i = 0; i < files.count; ++i) {
    CriterionFile& file = files.files[i];
    if (file.open && !closeOutputFile(file.output, err)) allWritten = false;
    file.open = false;
  }
  return allWritten;
}

}  // namespace brevox
