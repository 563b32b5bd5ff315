#pragma once

#include "analysis/run_record.h"
#include "data/data_set.h"
#include "report/markup.h"

namespace brevox {

/// The section "The order of the works over all criteria", the first of the page: a dot chart of
/// the works' positions with their 95% intervals, sorted by position, their ranks and rank
/// intervals beside; the map of how often each work stands before each other, in the order of
/// the positions; the criteria that pull against the order, named; a small panel per criterion of
/// the works' proportions against their positions with the fitted curve; and what the positions
/// are and are not. Where the record holds no order, a note says how to get it; where the fit
/// found none, why.
void writeOrderSection(Markup& page, const RunRecord& record, const DataSet& data);

/// The style of that section and of the overview, screen and print.
extern const char* const kOrderStyle;

}  // namespace brevox
