#pragma once

#include <ostream>
#include <string>

#include "data/data_set.h"

namespace brevox {

/// Writes `data` in the input format, every field followed by a comma and every line by CR LF.
void writeInputData(std::ostream& out, const DataSet& data);

/// Writes `data` to the file `path`. A file that cannot be opened prints
/// "Failed to open file " + path + " for writing"; a failed write prints
/// "Failed to write file " + path; the system's reason follows, after ": ". Returns whether the
/// file was written completely.
bool writeInputDataFile(const std::string& path, const DataSet& data, std::ostream& err);

}  // namespace brevox
