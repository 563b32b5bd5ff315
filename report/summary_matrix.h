#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

#include "data/data_set.h"
#include "io/output_file.h"
#include "report/variants.h"
#include "stats/families.h"
#include "stats/pair_comparison.h"

namespace brevox {

/// What a criterion's files are opened for: the selected families and the merged graph.
struct CriterionSelection {
  std::array<bool, kFamilyCount> families{};
  bool mergedGraph = false;
};

/// One summary table or graph file of a criterion; `open` is true from its opening to its closing.
struct CriterionFile {
  OutputFile output;
  bool open = false;
  bool graph = false;
};

/// All files of the criterion being processed, in the order in which they were opened, with the
/// place of each variant's tables and of each graph among them.
struct CriterionFiles {
  std::array<CriterionFile, kCriterionFileCount> files;
  std::size_t count = 0;
  /// Position in `files` of each variant's tables (in its descriptor's order) and of each graph;
  /// kCriterionFileCount where the file was not opened.
  std::array<std::array<std::size_t, 3>, kVariantCount> tables{};
  std::array<std::size_t, kGraphCount> graphs{};
  /// The whole text written to each graph file, for the outputs drawn from the whole run.
  std::array<std::string, kGraphCount> graphTexts;
};

/// Opens the criterion's files that `selection` asks for, family by family in the file order,
/// and writes each group's title lines and graph headers once all its files are open. A file
/// that cannot be opened prints "Failed to open file " + name + ": " + the reason on `err`; the
/// files opened before it are discarded (none of them reaches its name) and false is returned.
bool openCriterionFiles(CriterionFiles& files, const CriterionSelection& selection,
                        const std::string& criterionShortName, std::ostream& err);

/// Appends "," and each work's short name to every open table (the header row).
void writeHeaderRow(CriterionFiles& files, const DataSet& data);

/// Starts the row of a work in every open table: a line end, its short name and ",".
void startRow(CriterionFiles& files, const std::string& workShortName);

/// An empty cell in every open table, for the diagonal and for works without cases.
void writeEmptyCells(CriterionFiles& files);

/// The pooled probability cell (lower triangle only: the caller writes it when B < A).
void writePooledProbabilityCell(CriterionFiles& files, const PairComparison& pair);

/// The cells of one variant's tables for the current pair: a "*" first where the outcome is not
/// valid, then the value, or "INVALID" where the outcome is undefined, and ",".
void writeVariantCells(CriterionFiles& files, Variant variant, const VariantOutcome& outcome);

/// Writes an edge line (possibly empty) and a line end into the file of graph `graph` (a variant's
/// index or kMergedGraph).
void writeGraphLine(CriterionFiles& files, std::size_t graph, const std::string& text);

/// Ends every open graph with "}" and closes every open file of the criterion, each renamed into
/// place. A file whose contents were not all written prints "Failed to write file " + name + ": "
/// + the reason on `err` and does not reach its name; returns false when any did.
bool closeCriterionFiles(CriterionFiles& files, std::ostream& err);

}  // namespace brevox
