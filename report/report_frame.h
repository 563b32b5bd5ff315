#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "data/data_set.h"
#include "stats/pair_comparison.h"

namespace brevox {

/// "PASSED" for 0 (no significant difference), "FAILED" for any other flag.
std::string passFlagText(std::int32_t flag);

/// Writes the title line, the column header line and the identification line of a report (the
/// works' and criterion's long names and the four counts), each ended by CR LF.
void writeReportFrame(std::ostream& out, const std::string& title, const std::string& header,
                      const PairComparison& pair, const DataSet& data);

}  // namespace brevox
