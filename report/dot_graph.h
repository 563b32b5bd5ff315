#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>

#include "data/data_set.h"
#include "stats/pair_comparison.h"

namespace brevox {

/// The test results that can be drawn as graphs.
enum class GraphTag { binD, fishDt, fishMp, chisqP, chisqY, chisqN1, perm, merged };

/// Significant pairs of one test over all criteria: source work -> target work -> criterion ->
/// whether the result rests on enough data.
using EdgeRecordMap =
    std::map<std::uint32_t, std::map<std::uint32_t, std::map<std::uint32_t, bool>>>;

/// The process-wide record map of a graph tag; the full run fills them.
EdgeRecordMap& edgeRecordMap(GraphTag tag);

/// Empties the eight record maps (for tests).
void resetEdgeRecordMaps();

/// The per-criterion tag text ("binD", "chisqP", ...).
const char* graphTagText(GraphTag tag);

/// A name as a DOT identifier: unchanged when it is a valid identifier, otherwise a quoted string
/// with `"` and `\` escaped.
std::string dotId(const std::string& name);

/// The edge line of a significant pair, oriented by the criterion's direction, and records it in
/// `records`. The text is empty when the pair is not valid and dotted edges are off.
std::string makeCriterionEdge(const PairComparison& pair, bool valid, bool dottedEdges,
                              EdgeRecordMap& records, const DataSet& data);

/// Whether a result of one merged test is valid and significant for the current pair.
struct MergeSlot {
  bool valid = false;
  bool significant = false;
};

/// Applies the merge rule to the main and subordinate slots. Returns true when the pair gets a
/// merged edge, and then sets `valid` to the validity it is drawn with.
bool mergedEdge(const MergeSlot& main, const MergeSlot& subordinate, bool& valid);

/// Writes the graph over all criteria of one record map.
void writeAllCriteriaGraph(std::ostream& out, const std::string& header, bool dottedEdges,
                           const EdgeRecordMap& records, const DataSet& data);
/// The file form: prints "Failed to open file " / "Failed to write file " and the name on `err`
/// and returns false when the graph was not written completely.
bool writeAllCriteriaGraph(const std::string& fileName, const std::string& header, bool dottedEdges,
                           const EdgeRecordMap& records, const DataSet& data, std::ostream& err);

}  // namespace brevox
