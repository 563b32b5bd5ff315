#pragma once

#include <cstdint>
#include <string>

#include "app/options.h"
#include "data/data_set.h"
#include "io/failure.h"

namespace brevox {

/// The bytes that the pairs' reports of a run of `options` on `data` take at most, reckoned from
/// their formats without writing them: the binomial report's table holds a line per count of
/// occurrences, short ("12,0,0") where the distribution keeps no probability, and at most two
/// numbers of twelve characters elsewhere; the other reports hold a few lines each. Close to what
/// the run writes where the reports are large, and never below it.
std::uint64_t reportBytesAtMost(const RunOptions& options, const DataSet& data);

/// Refuses a run whose reports would not fit in the free space of its output folder, with their
/// size and the options that write less: "use option S" for the summaries alone.
[[nodiscard]] Outcome checkFreeSpace(const RunOptions& options, const DataSet& data);

}  // namespace brevox
