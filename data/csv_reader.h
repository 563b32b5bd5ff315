#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "data/data_set.h"

namespace brevox {

/// Reads a data set in the input format from `in`; `path` names it in messages. The file may be
/// as a spreadsheet saves it: fields in double quotes, semicolons between fields (the threshold
/// then with a decimal comma), CR LF, LF or CR line ends, blank lines after the last work, empty
/// fields to the right of the data, UTF-8 or UTF-16 with a byte-order mark. Names with a comma,
/// a double quote or a line end, and empty or repeated short names, are refused. On success the
/// names and counts of `data` are replaced and true is returned. On a format error one message
/// line goes to `err` and false is returned; the names and counts of `data` are then unchanged,
/// while the threshold and directions may already have been overwritten.
bool readDataSet(std::istream& in, const std::string& path, DataSet& data, std::ostream& err);

/// Reads all of `in` into `bytes`; a read failure prints "Failed to read file " + path.
bool readFileBytes(std::istream& in, const std::string& path, std::string& bytes,
                   std::ostream& err);

/// readDataSet on the bytes of a file already read.
bool readDataSetBytes(std::string bytes, const std::string& path, DataSet& data, std::ostream& err);

/// The name of a field in messages, such as the address of a cell: line from 1, field from 0.
using FieldPlace = std::function<std::string(std::uint64_t line, std::size_t field)>;

/// Reads a data set from lines of fields, as the lines of a CSV file split at their separators,
/// under the same rules and messages; each message names the field at fault as " in " +
/// place(line, field) + " of " + path.
bool readDataSetFields(std::vector<std::vector<std::string>> lines, const std::string& path,
                       const FieldPlace& place, DataSet& data, std::ostream& err);

/// A name or field as messages show it: in double quotes, control bytes as \x escapes.
std::string quotedForMessage(const std::string& text);

/// Opens `path` and reads it with readDataSet. A file that cannot be opened, or a folder, prints
/// "Failed to open file " + path + " for reading: " + the system's reason.
bool readDataSetFile(const std::string& path, DataSet& data, std::ostream& err);

}  // namespace brevox
