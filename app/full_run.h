#pragma once

#include <ostream>

#include "app/options.h"

namespace brevox {

/// Runs every selected test over every criterion and pair of works of the process's data set and
/// writes the reports, summary matrices and graphs into the working directory. The progress
/// trace goes to `out`, messages to `err`. Returns 0, or -1 when a file could not be written.
int runFull(const RunOptions& options, std::ostream& out, std::ostream& err);

}  // namespace brevox
