#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <ostream>
#include <string>

#include "app/options.h"
#include "data/data_set.h"
#include "report/dot_graph.h"
#include "stats/binomial.h"
#include "stats/chi_square.h"
#include "stats/fisher_exact.h"
#include "stats/pair_comparison.h"
#include "stats/permutation.h"

namespace brevox {

/// The summary tables (works by works) and graph files of one criterion, in the order in which
/// they are opened.
enum class CriterionFileKind : std::size_t {
  expectedProbability,
  binomialPValue,
  binomialMidPValue,
  binomialFlag,
  binomialGraph,
  fisherPValue,
  fisherFlag,
  fisherMidPValue,
  fisherMidPFlag,
  fisherGraph,
  fisherMidPGraph,
  pearsonPValue,
  pearsonFlag,
  yatesPValue,
  yatesFlag,
  n1PValue,
  n1Flag,
  pearsonGraph,
  yatesGraph,
  n1Graph,
  permutationPValue,
  permutationFlag,
  permutationGraph,
  mergedGraph,
};

inline constexpr std::size_t kCriterionFileCount = 24;

/// One file of a criterion; `open` is true from its opening to its closing.
struct CriterionFile {
  std::string name;
  std::ofstream stream;
  bool open = false;
};

/// All files of the criterion being processed.
struct CriterionFiles {
  std::array<CriterionFile, kCriterionFileCount> files;
};

/// The file name of a summary table or graph of the criterion with short name `criterion`, e.g.
/// "T_exp_prob_k.csv", "T_fish_Dt_pValk.csv", "graph_binD_k.gv".
std::string criterionFileName(CriterionFileKind kind, const std::string& criterion);

/// Opens the criterion's files that the options select, group by group, and writes each group's
/// title lines and graph headers once all its files are open. A file that cannot be opened
/// prints "Failed to open file " + name on `err`; the files opened before it are closed as they
/// are and false is returned.
bool openCriterionFiles(CriterionFiles& files, const RunOptions& options, std::uint32_t criterion,
                        const DataSet& data, std::ostream& err);

/// Appends "," and each work's short name to every open table (the header row).
void writeHeaderRow(CriterionFiles& files, const DataSet& data);

/// Starts the row of a work in every open table: a line end, its short name and ",".
void startRow(CriterionFiles& files, const std::string& workShortName);

/// An empty cell in every open table, for the diagonal and for works without cases.
void writeEmptyCells(CriterionFiles& files);

/// The pooled probability cell (lower triangle only: the caller writes it when B < A).
void writePooledProbabilityCell(CriterionFiles& files, const PairComparison& pair);

/// The three binomial cells of an ordered pair; a "*" marks a result that is not valid.
void writeBinomialCells(CriterionFiles& files, const BinomialResult& result, bool valid);

/// The six chi-square cells: "*" where the Pearson/Yates or the N-1 result is not valid, and
/// "INVALID," in all six when an expected count is 0.
void writeChiSquareCells(CriterionFiles& files, const ChiSquareResult& result, bool pearsonValid,
                         bool n1Valid);

/// The four Fisher cells.
void writeFisherCells(CriterionFiles& files, const FisherResult& result, bool valid);

/// The two permutation cells.
void writePermutationCells(CriterionFiles& files, const PermutationResult& result, bool valid);

/// Writes an edge line (possibly empty) and a line end into the graph file of `tag`.
void writeGraphLine(CriterionFiles& files, GraphTag tag, const std::string& text);

/// Ends every open graph with "}" and closes every open file of the criterion. A file whose
/// contents were not all written prints "Failed to write file " + name on `err`; returns false
/// when any did.
bool closeCriterionFiles(CriterionFiles& files, std::ostream& err);

}  // namespace brevox
