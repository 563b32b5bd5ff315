#pragma once

#include <cstdint>
#include <ostream>
#include <utility>
#include <vector>

#include "analysis/order_bootstrap.h"
#include "analysis/order_fit.h"
#include "data/data_set.h"
#include "report/output_sink.h"

namespace brevox {

// Each table is a header row, then its rows; numbers read back to the same double, a value that
// does not exist is an empty cell, a yes or no is 1 or 0, names are the data's short names, and
// lines end with CR LF. `bootstrap` belongs to `fit` (bootstrapOrder of the same counts).

/// One row per work with cases, in the data's order: work, long_name, criteria (with cases),
/// position, position_low, position_high, rank, rank_low, rank_high, pearson_residual (the
/// work's share of Pearson's X^2).
void writeOrderWorks(std::ostream& out, const OrderFit& fit, const OrderBootstrap& bootstrap,
                     const DataSet& data);

/// One row per criterion with cases, in the data's order: criterion, direction, level, rate,
/// rate_low, rate_high, agrees, deviance, kendall_tau (the order without the criterion against
/// the whole order).
void writeOrderCriteria(std::ostream& out, const OrderFit& fit, const OrderBootstrap& bootstrap,
                        const DataSet& data);

/// One row per ordered pair of works with positions, by work A then work B in the data's order:
/// work_a, work_b, p_before (the share of the replicates in which A has the lower position).
void writeOrderPrecedence(std::ostream& out, const OrderBootstrap& bootstrap, const DataSet& data);

/// One row: works and criteria (those with cases), cells (with cases), log_likelihood, deviance,
/// df, dispersion, converged, replicates (those counted), seed.
void writeOrderFit(std::ostream& out, const OrderFit& fit, const OrderBootstrap& bootstrap);

/// The share of the replicates from which one work standing before another is drawn as an arrow.
inline constexpr double kOrderArrowShare = 0.95;

/// The arrows of the order's graph, as pairs of work numbers: from A to B where A stands before B
/// in kOrderArrowShare of the replicates or more, without those that follow from others (A to C
/// where A to B and a path from B to C are drawn). By A then B in the data's order.
std::vector<std::pair<std::uint32_t, std::uint32_t>> orderArrows(const OrderBootstrap& bootstrap);

/// The graph file: the conventions of the graphs over all criteria (header, graph attributes, a
/// DOT id for each name, CR LF), a node per work with a position in the order of the positions,
/// then the arrows.
void writeOrderGraph(std::ostream& out, const OrderFit& fit, const OrderBootstrap& bootstrap,
                     const DataSet& data);

/// The four tables and the graph of the order as an output of a full run: written when the run
/// ends, each file on its own (one that cannot be written leaves the others), from the order of
/// the run's record; a record without one writes none.
Sink orderFilesSink();

}  // namespace brevox
