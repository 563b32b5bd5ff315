#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "analysis/run_record.h"
#include "analysis/tested_pair.h"
#include "data/data_set.h"
#include "report/colour_scale.h"
#include "report/markup.h"
#include "report/variants.h"

namespace brevox {

/// Whether the page shows a variant: the run tested its family.
bool shown(const RunSettings& settings, const VariantDescriptor& variant);

/// A map of more works than this is drawn as one image, a pixel per cell: a table of a cell per
/// pair would be tens of thousands of elements per map.
inline constexpr std::size_t kTableMapsUpTo = 40;

/// A criterion's tested pairs in a grid of its works: the pair of row work A and column work B
/// at (A - 1) * works + (B - 1), null where nothing was tested.
struct PairGrid {
  std::size_t works = 0;
  std::vector<const PairOutcomes*> cells;
};

PairGrid pairGrid(const std::vector<PairOutcomes>& pairs, std::size_t works);

/// Pairs of works by their numbers, the smaller first.
using WorkPairs = std::set<std::pair<std::uint32_t, std::uint32_t>>;

/// What the page keeps of one test's map of a criterion to the run's end: a byte per cell of the
/// grid (its step, the test's decision, too few cases, the pair standing firm, or a cell without
/// a p-value), and the p-values only where the map shows them (a map of kTableMapsUpTo works or
/// fewer).
struct MapCells {
  Variant variant = Variant::binomial;
  std::size_t works = 0;
  std::vector<std::uint8_t> cells;
  std::vector<double> pValues;
  double smallest = 1;  ///< the smallest p-value among the cells, for the page's scale
};

/// The map of `variant`, its cells of the pairs in `firm` outlined (those that still differ once
/// the main test's p-values are adjusted, on its map).
MapCells mapCells(const PairGrid& grid, Variant variant, const WorkPairs& firm);

/// The heat map of one variant under one criterion: a row and a column per work, each cell
/// coloured by the step of its p-value; the lower triangle for a symmetric test, the full square
/// for the binomial test. Up to kTableMapsUpTo works a table, each cell's p-value in its hover
/// text (with the pair's names up to 30 works) and printed in it (up to 12), the firm pairs
/// outlined; beyond, one image, in which a map that `marksFirm` fades the cells of the pairs that
/// are not firm.
void writeMap(Markup& page, const ColourScale& scale, const DataSet& data, const MapCells& map,
              bool marksFirm);

}  // namespace brevox
