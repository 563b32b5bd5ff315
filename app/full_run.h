#pragma once

#include <ostream>

#include "app/console.h"
#include "app/options.h"
#include "data/data_set.h"
#include "io/failure.h"
#include "report/dot_graph.h"
#include "report/html_report.h"
#include "report/output_names.h"

namespace brevox {

/// The files a run of `options` writes, as their names go: the one place where a run's outputs
/// are chosen, for the check of their names and for the full run alike.
OutputChoice outputChoice(const RunOptions& options);

/// Runs every selected test over every criterion and pair of works of `data` and writes the
/// outputs that `options` choose into the output folder; the edges it draws are added to
/// `records`, from which it draws the graphs over all criteria at the end. The pairs of a
/// criterion are tested on up to `threads` threads (1: one after the other, as they come), fewer
/// where the criterion has fewer pairs to test, the process fewer descriptors to spare or the
/// system fewer threads to give; each pair's reports are written on the thread that tested it,
/// its other outputs in the run's order on the calling thread; every file, the progress trace on
/// `out` and the failures are the same whatever their number. With option H the page names the
/// data file and the option string of `command`. Returns what could not be written, in the order
/// of the run; a file of a criterion that cannot be opened, or a trace on `out` that cannot be
/// written, stops the run. With `progress`, each criterion and each pair of works tested moves
/// the terminal's progress line on.
[[nodiscard]] Failures runFull(const RunOptions& options, const RunCommand& command,
                               const DataSet& data, EdgeRecords& records, unsigned threads,
                               std::ostream& out, ConsoleProgress* progress = nullptr);

}  // namespace brevox
