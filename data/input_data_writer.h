#pragma once

#include <ostream>
#include <string>

#include "data/data_set.h"
#include "io/failure.h"

namespace brevox {

/// Writes `data` in the input format, every field followed by a comma and every line by CR LF.
void writeInputData(std::ostream& out, const DataSet& data);

/// Writes `data` to the file `path`. A file that cannot be opened fails with
/// "Failed to open file " + path + " for writing", a failed write with "Failed to write file " +
/// path, each with the system's reason.
[[nodiscard]] Outcome writeInputDataFile(const std::string& path, const DataSet& data);

}  // namespace brevox
