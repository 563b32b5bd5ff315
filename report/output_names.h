#pragma once

#include <ostream>
#include <string>

#include "data/data_set.h"

namespace brevox {

/// Checks that the output files a full run names after the short names of `data` can all be
/// written, each under a name of its own: no file name passes 255 bytes, the longest the file
/// systems take, and no two detailed reports get the same name (short names are joined with "_",
/// so a name holding "_" could make the reports of two pairs collide). Otherwise prints one line
/// naming the short name at fault, its work or criterion, its line in the data file `path` (its
/// cell, when the data came from the sheet `sheetName` of a workbook) and the file name, and
/// returns false.
bool checkOutputNames(const DataSet& data, const std::string& path, std::ostream& err,
                      const std::string& sheetName = "");

}  // namespace brevox
