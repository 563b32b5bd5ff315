#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/run_record.h"
#include "data/data_set.h"
#include "report/colour_scale.h"
#include "report/dot_graph.h"
#include "report/graph_render.h"
#include "report/heat_map.h"
#include "report/markup.h"

namespace brevox {

/// One test's figure in a criterion's section: its map beside its graph, or the merged graph.
struct PageFigure {
  std::size_t graph = 0;        ///< the variant's index, or kMergedGraph
  std::optional<MapCells> map;  ///< none for the merged graph
  GraphDrawing drawing;
  /// Significant results on too few cases that a graph without dotted arrows leaves out.
  std::size_t leftOut = 0;
};

/// What the page keeps of one criterion to the run's end: the cells of its maps and its drawings,
/// made at the criterion's end, nothing of its pairs.
struct PageCriterion {
  std::uint32_t criterion = 0;
  /// The main test first, then the other symmetric tests, the binomial test and the merged graph;
  /// none when the run made no test.
  std::vector<PageFigure> figures;
  std::size_t firmPairs = 0;  ///< the pairs that still differ once the p-values are adjusted
  std::size_t judgedPairs = 0;
  double smallest = 1;  ///< the smallest p-value of its maps
};

/// The page's record of a criterion from its analysis and the texts of its graphs, the graphs
/// drawn now (from one thread: graph_render). With more than kTableMapsUpTo works only the main
/// test's graph is drawn, the others are in their files.
PageCriterion pageCriterion(const CriterionAnalysis& analysis, const CriterionGraphTexts& graphs,
                            const RunSettings& settings, const DataSet& data);

/// The drawing of a graph, or the note that stands in its place (naming `fileName`).
void writeGraph(Markup& page, const GraphDrawing& drawing, const std::string& fileName,
                std::size_t leftOut = 0);

/// A criterion's section: its name and direction, the main test's map and graph, adjusted, then
/// every other test's folded under its name, unadjusted.
void writeCriterionSection(Markup& page, const PageCriterion& criterion,
                           const RunSettings& settings, const ColourScale& scale,
                           const DataSet& data);

}  // namespace brevox
