#pragma once

#include <cstdint>
#include <vector>

#include "analysis/run_record.h"
#include "data/data_set.h"
#include "report/markup.h"

namespace brevox {

/// The works in the order the page's answer shows them: by their positions in the order over all
/// criteria where the record holds it (the works without a position after them), else in the
/// data's order.
std::vector<std::uint32_t> worksInOrder(const RunRecord& record, const DataSet& data);

/// The section "The works under every criterion": a table of the works (in worksInOrder) by the
/// criteria, each cell the work's proportion and letters, shaded by the proportion's place within
/// the criterion's range, a criterion whose works do not differ at all greyed; then a sentence
/// per criterion saying which works stand apart and how many pairs differ once the p-values are
/// adjusted. Nothing without findings.
void writeOverview(Markup& page, const RunRecord& record, const DataSet& data);

}  // namespace brevox
