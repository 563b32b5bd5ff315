#pragma once

#include <fstream>
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

}  // namespace brevox
