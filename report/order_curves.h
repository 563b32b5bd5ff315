#pragma once

#include "analysis/run_record.h"
#include "data/data_set.h"
#include "report/markup.h"
#include "report/plot_axis.h"

namespace brevox {

/// A small panel per criterion of the order: each work's proportion with its 95% Wilson interval
/// against its position (on `positions`, the axis of the order's chart), and the curve the order
/// fitted through them, its rate and interval above it; a criterion that pulls against the order
/// says so. Needs the record's order and findings.
void writeCriterionCurves(Markup& page, const RunRecord& record, const PlotAxis& positions,
                          const DataSet& data);

}  // namespace brevox
