#pragma once

#include <ostream>

#include "app/options.h"
#include "data/data_set.h"

namespace brevox {

/// Runs the one selected test on the criterion and two works of `data` chosen by number, at the
/// threshold 0.05, and writes its report under the test's fixed file name. Returns 0, or -1 after
/// a message on `err` when a number does not exist, a total is 0 or the report was not written.
int runSingleTest(const RunOptions& options, const DataSet& data, std::ostream& out,
                  std::ostream& err);

}  // namespace brevox
