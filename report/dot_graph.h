#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>

#include "data/data_set.h"
#include "report/output_sink.h"
#include "report/variants.h"
#include "stats/families.h"
#include "stats/pair_comparison.h"

namespace brevox {

/// Significant pairs of one test over all criteria: source work -> target work -> criterion ->
/// whether the result rests on enough data.
using EdgeRecordMap =
    std::map<std::uint32_t, std::map<std::uint32_t, std::map<std::uint32_t, bool>>>;

/// One record map per graph (indexed like graphNames: the variants, then the merged graph). The
/// full run fills them criterion by criterion and draws the graphs over all criteria from them.
using EdgeRecords = std::array<EdgeRecordMap, kGraphCount>;

/// A name as a DOT identifier: unchanged when it is a valid identifier, otherwise a quoted string
/// with `"` and `\` escaped.
std::string dotId(const std::string& name);

/// The edge line of a significant pair, oriented by the criterion's direction. The text is empty
/// when the pair is not valid and dotted edges are off.
std::string criterionEdgeLine(const PairComparison& pair, bool valid, bool dottedEdges,
                              const DataSet& data);

/// The same, recording the edge in `records`.
std::string makeCriterionEdge(const PairComparison& pair, bool valid, bool dottedEdges,
                              EdgeRecordMap& records, const DataSet& data);

/// The graphs a run draws and how.
struct GraphChoice {
  FamilySet families;  ///< a graph per variant of these families
  bool dottedEdges = false;
  /// The main and subordinate variants of the merged graph of option M, when it is drawn.
  std::optional<Variant> mergeMain;
  std::optional<Variant> mergeSub;
};

/// Whether the run draws graph `graph` (a variant's index, or kMergedGraph).
bool graphDrawn(const GraphChoice& choice, std::size_t graph);

/// The first line of a criterion's graph: "digraph ", its DOT id (the tag, "_", the criterion's
/// short name) and " {".
std::string criterionGraphHeader(std::size_t graph, const std::string& criterionShortName);

/// For each graph, whether the pair has an edge in it and the validity it is drawn with: a
/// variant's significant defined outcome, and the merge rule's choice in the merged graph.
using PairEdges = std::array<std::optional<bool>, kGraphCount>;
PairEdges pairEdges(const PairResult& result, const GraphChoice& choice);

/// Whether a result of one merged test is valid and significant for the current pair.
struct MergeSlot {
  bool valid = false;
  bool significant = false;
};

/// Applies the merge rule to the main and subordinate slots. Returns the validity the merged edge
/// is drawn with, or nothing when the pair gets no merged edge.
std::optional<bool> mergedEdgeValidity(const MergeSlot& main, const MergeSlot& subordinate);

/// Writes the graph over all criteria of one record map. `forPage` is the page's drawing of it, not
/// a file: ", " stands between the criterion numbers of an arrow's label (none in the files, whose
/// labels readers' scripts know; on a page "1 2" and "12" must not look alike), and the criteria's
/// names in its legend are Graphviz labels of them (page_text): well formed, isolated from each
/// other, their "&" as Graphviz shows it. Returns the number of arrows written.
std::size_t writeAllCriteriaGraph(std::ostream& out, const std::string& header, bool dottedEdges,
                                  const EdgeRecordMap& records, const DataSet& data,
                                  bool forPage = false);
/// The file form: prints "Failed to open file " / "Failed to write file ", the name, ": " and the
/// system's reason on `err` and returns false when the graph was not written completely.
bool writeAllCriteriaGraph(const std::string& fileName, const std::string& header, bool dottedEdges,
                           const EdgeRecordMap& records, const DataSet& data, std::ostream& err);

/// The graphs of a full run as an output: per criterion one file of each graph that `choice`
/// draws (criterionGraphFileName), opened family by family in the file order and the merged graph
/// last, with a line per significant pair (possibly empty: an edge on too few cases without
/// dotted edges); the edges are added to `records`, from which the graphs over all criteria are
/// written when the run ends. A graph that cannot be opened prints "Failed to open file " + name +
/// ": " + the reason on `err`, discards the criterion's graphs and stops the run; one not written
/// completely prints "Failed to write file " + name + ": " + the reason.
Sink graphsSink(const GraphChoice& choice, EdgeRecords& records, std::ostream& err);

}  // namespace brevox
