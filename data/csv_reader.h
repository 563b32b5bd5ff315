#pragma once

#include <istream>
#include <ostream>
#include <string>

#include "data/data_layout.h"
#include "data/data_set.h"

namespace brevox {

/// Reads a data set in the layout of data/data_layout.h from CSV text in `in`; `path` names it in
/// messages. The text may be as a spreadsheet saves it: fields in double quotes, semicolons or
/// tabs between fields (the threshold then with a decimal comma, as in a quoted field), CR LF, LF
/// or CR line ends, UTF-8 or UTF-16 with a byte-order mark. On success the data set of `data` is
/// replaced and true is returned. Otherwise one message line goes to `err`, naming the line and
/// field at fault and, where it is likely, the cause (a spreadsheet workbook, UTF-16 without its
/// mark, thousands separators...); false is returned and `data` is unchanged.
bool readDataSet(std::istream& in, const std::string& path, DataSet& data, std::ostream& err);

/// Reads all of `in` into `bytes`; a read failure prints "Failed to read file " + path.
bool readFileBytes(std::istream& in, const std::string& path, std::string& bytes,
                   std::ostream& err);

/// readDataSet on the bytes of a file already read.
bool readDataSetBytes(std::string bytes, const std::string& path, DataSet& data, std::ostream& err);

/// Opens `path` and reads it with readDataSet. A file that cannot be opened, or a folder, prints
/// "Failed to open file " + path + " for reading: " + the system's reason.
bool readDataSetFile(const std::string& path, DataSet& data, std::ostream& err);

}  // namespace brevox
