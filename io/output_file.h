#pragma once

#include <fstream>
#include <functional>
#include <ostream>
#include <string>

namespace brevox {

/// Creates or truncates `name` for writing, in binary mode so that line ends are written as
/// given. On failure prints "Failed to open file " + name + suffix on `err` and returns false.
bool openOutputFile(std::ofstream& file, const std::string& name, std::ostream& err,
                    const char* suffix = "");

/// Flushes and closes a file opened by openOutputFile. When anything written to it was lost (a
/// full disk, an I/O error) prints "Failed to write file " + name on `err` and returns false.
bool closeOutputFile(std::ofstream& file, const std::string& name, std::ostream& err);

/// Writes a whole file: opens `name` as openOutputFile does (with `openSuffix` in its message),
/// lets `writer` write the contents, and closes it as closeOutputFile does. Returns whether the
/// file was written completely; `writer` is not called when the file cannot be opened.
bool writeFile(const std::string& name, std::ostream& err,
               const std::function<void(std::ostream&)>& writer, const char* openSuffix = "");

}  // namespace brevox
