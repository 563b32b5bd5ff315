#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace brevox {

/// Runs the program on its arguments (argument 0 is the program itself), with the process's data
/// set. Returns the exit code, 0 or -1.
int runBrevox(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace brevox
