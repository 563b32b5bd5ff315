#pragma once

#include <ostream>
#include <string>

#include "data/data_set.h"

namespace brevox {

/// Checks that no output file name a full run makes from the short names of `data` passes 255
/// bytes, the longest file name the file systems take. Otherwise prints one line that names the
/// longest short name in the longest file name, with its work or criterion, its line in the data
/// file `path` and that file name, and returns false.
bool checkOutputNameLengths(const DataSet& data, const std::string& path, std::ostream& err);

}  // namespace brevox
