#pragma once

#include <ostream>

#include "app/options.h"
#include "data/data_set.h"
#include "report/dot_graph.h"

namespace brevox {

/// Runs every selected test over every criterion and pair of works of `data` and writes the
/// reports, summary matrices and graphs into the working directory; the edges it draws are added
/// to `records`, from which it draws the graphs over all criteria at the end. The progress trace
/// goes to `out`, messages to `err`. Returns 0, or -1 when a file could not be written.
int runFull(const RunOptions& options, const DataSet& data, EdgeRecords& records, std::ostream& out,
            std::ostream& err);

}  // namespace brevox
