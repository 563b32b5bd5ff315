#pragma once

#include <istream>
#include <ostream>
#include <string>

#include "data/data_set.h"

namespace brevox {

/// Reads a data set in the input format from `in`; `path` names it in messages. On success the
/// names and counts of `data` are replaced and true is returned. On a format error one message
/// line goes to `err` and false is returned; the names and counts of `data` are then unchanged,
/// while the threshold and directions may already have been overwritten.
bool readDataSet(std::istream& in, const std::string& path, DataSet& data, std::ostream& err);

/// Opens `path` and reads it with readDataSet. A file that cannot be opened, or a folder, prints
/// "Failed to open file " + path + " for reading: " + the system's reason.
bool readDataSetFile(const std::string& path, DataSet& data, std::ostream& err);

}  // namespace brevox
