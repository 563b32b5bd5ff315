#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "data/data_set.h"
#include "report/dot_graph.h"

namespace brevox {

/// Runs the program on its arguments (argument 0 is the program itself), with the built-in data
/// set and edge records of its own, as the whole of the process: SIGINT, SIGTERM, SIGHUP and
/// SIGQUIT end the run until it is over, as io/interrupt.h says, and are then held back until the
/// process ends; a crash removes what the run leaves and ends the process with its signal. Prints
/// each failure once on `err` and returns the exit code, 0 or -1. A run that writes holds the lock
/// of its working directory (app/run_lock.h) and fails with a message when another run holds it.
int runBrevox(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

/// The same on a data set and edge records of the caller's, within a process that goes on after
/// the run (a crash is left to the process): a data file read replaces `data`, a full run adds to
/// `records`.
int runBrevox(const std::vector<std::string>& arguments, DataSet& data, EdgeRecords& records,
              std::ostream& out, std::ostream& err);

}  // namespace brevox
