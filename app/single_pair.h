#pragma once

#include <ostream>

#include "app/options.h"
#include "data/data_set.h"
#include "io/failure.h"

namespace brevox {

/// Runs the one selected test on the criterion and two works of `data` chosen by number, at the
/// threshold 0.05, and writes its report under the test's fixed file name. Fails when a number
/// does not exist, a total is 0, no test is selected or the report was not written.
[[nodiscard]] Outcome runSingleTest(const RunOptions& options, const DataSet& data,
                                    std::ostream& out);

}  // namespace brevox
