#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "analysis/run_record.h"
#include "analysis/tested_pair.h"
#include "data/data_set.h"
#include "io/failure.h"
#include "report/output_sink.h"
#include "report/variants.h"
#include "stats/families.h"
#include "stats/pair_comparison.h"

namespace brevox {

/// The criteria under which one pair of works differs, in the order of their numbers, each with
/// whether the result rests on enough data. A run records a pair's criteria one after the other:
/// a list in one piece costs far less to add to than a tree of its own per pair.
using CriterionEdges = std::vector<std::pair<std::uint32_t, bool>>;

/// The works an edge leads to from one work, in the order of their numbers, each with its
/// criteria: found by halving a list in one piece, where a tree's nodes lie scattered.
using EdgeTargets = std::vector<std::pair<std::uint32_t, CriterionEdges>>;

/// Significant pairs of one test over all criteria: source work -> target work -> criteria.
using EdgeRecordMap = std::map<std::uint32_t, EdgeTargets>;

/// Records that the edge from `source` to `target` is drawn under `criterion`, with whether it
/// rests on enough data; a criterion recorded before takes the new value.
void recordEdge(EdgeRecordMap& records, std::uint32_t source, std::uint32_t target,
                std::uint32_t criterion, bool valid);

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

/// Whether the run draws graph `graph` (a variant's index, or kMergedGraph).
bool graphDrawn(const RunSettings& settings, std::size_t graph);

/// The first line of a criterion's graph: "digraph ", its DOT id (the tag, "_", the criterion's
/// short name) and " {".
std::string criterionGraphHeader(std::size_t graph, const std::string& criterionShortName);

/// For each graph, whether the pair has an edge in it and the validity it is drawn with: a
/// variant's significant defined outcome, and the merge rule's choice in the merged graph.
using PairEdges = std::array<std::optional<bool>, kGraphCount>;
PairEdges pairEdges(const VariantOutcomes& outcomes, const RunSettings& settings);

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
/// The file form; fails as writeFile does.
[[nodiscard]] Outcome writeAllCriteriaGraph(const std::string& fileName, const std::string& header,
                                            bool dottedEdges, const EdgeRecordMap& records,
                                            const DataSet& data);

/// The DOT text of each graph of one criterion, as its file holds it (indexed like graphNames;
/// empty for a graph not drawn).
using CriterionGraphTexts = std::array<std::string, kGraphCount>;

/// The graphs of a full run as an output: per criterion one file of each graph that `settings`
/// draw (criterionGraphFileName), opened family by family in the file order and the merged graph
/// last, with a line per significant pair (possibly empty: an edge on too few cases without
/// dotted edges); the edges are added to `records`, from which the graphs over all criteria are
/// written when the run ends. Where `texts` is given, it holds the criterion's texts from its
/// beginning to the next one's. A graph that cannot be opened discards the criterion's graphs and
/// stops the run.
Sink graphsSink(const RunSettings& settings, EdgeRecords& records,
                std::shared_ptr<CriterionGraphTexts> texts);

}  // namespace brevox
