#pragma once

#include <ostream>
#include <string>

#include "app/options.h"
#include "data/data_set.h"
#include "report/dot_graph.h"
#include "report/output_names.h"

namespace brevox {

/// The command line as typed, for the outputs that describe the run.
struct RunCommand {
  std::string dataFile;    ///< the data file's path; empty for the built-in data
  std::string optionText;  ///< the option string; empty when none was given
  std::string sheetName;   ///< the sheet read when the data file is a workbook, else empty
};

/// The files a run of `options` writes, as their names go: the one place where a run's outputs
/// are chosen, for the check of their names and for the full run alike.
OutputChoice outputChoice(const RunOptions& options);

/// Runs every selected test over every criterion and pair of works of `data` and writes the
/// reports, summary matrices and graphs into the working directory; the edges it draws are added
/// to `records`, from which it draws the graphs over all criteria at the end. The pairs of a
/// criterion are tested on up to `threads` threads (1: one after the other, as they come), fewer
/// where the criterion has fewer pairs to test, the process fewer descriptors to spare or the
/// system fewer threads to give; each pair's reports are written on the thread that tested it,
/// its other outputs in the run's order on the calling thread; every file, the progress
/// trace on `out` and the messages on `err` are the same whatever their number. With option H it
/// also writes the page "brevox_report.html", which names the data file and the option string of
/// `command`. Returns 0, or -1 when a file could not be written or the trace on `out` failed, which
/// stops the run.
int runFull(const RunOptions& options, const RunCommand& command, const DataSet& data,
            EdgeRecords& records, unsigned threads, std::ostream& out, std::ostream& err);

}  // namespace brevox
