#pragma once

#include <istream>
#include <string>

#include "data/data_layout.h"
#include "data/data_set.h"
#include "io/failure.h"
#include "io/output_file.h"

namespace brevox {

/// Reads a data set in the layout of data/data_layout.h from CSV text in `in`; `path` names it in
/// messages, as pathForMessage shows it (as do the functions below). The text may be as a
/// spreadsheet saves it: fields in double quotes, semicolons or tabs between fields (the threshold
/// then with a decimal comma, as in a quoted field), CR LF, LF or CR line ends, UTF-8 or UTF-16
/// with a byte-order mark. On success the data set of `data` is replaced. Otherwise the failure is
/// one message line, naming the line and field at fault and, where it is likely, the cause (a
/// spreadsheet workbook, UTF-16 without its mark, thousands separators...), and `data` is
/// unchanged.
[[nodiscard]] Outcome readDataSet(std::istream& in, const std::string& path, DataSet& data);

/// Reads all of `in` into `bytes`; a read failure is "Failed to read file " + path.
[[nodiscard]] Outcome readFileBytes(std::istream& in, const std::string& path, std::string& bytes);

/// readDataSet on the bytes of a file already read.
[[nodiscard]] Outcome readDataSetBytes(std::string bytes, const std::string& path, DataSet& data);

/// Opens the data file `path` for reading. A file that cannot be opened, or a folder, fails with
/// "Failed to open file " + path + " for reading" and the system's reason.
[[nodiscard]] Outcome openDataFile(InputFile& file, const std::string& path);

/// Opens `path` and reads it with readDataSet. A file that cannot be opened, or a folder, fails
/// with "Failed to open file " + path + " for reading" and the system's reason.
[[nodiscard]] Outcome readDataSetFile(const std::string& path, DataSet& data);

}  // namespace brevox
