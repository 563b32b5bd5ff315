#pragma once

#include <optional>
#include <string>
#include <vector>

namespace brevox {

/// Something a run could not do, as the user reads it: the message, one line without its line
/// end, and after it the reason where there is one: the system's words (strerror's), or for a
/// refused data file what to change.
struct Failure {
  std::string message;
  std::string reason;
};

/// What a step that may fail returns: nothing when it was done, else why it was not. Every
/// function that returns one is [[nodiscard]].
using Outcome = std::optional<Failure>;

/// The failures of a run that went on after them, in the order in which they happened.
using Failures = std::vector<Failure>;

/// The line a failure prints, without its line end: the message, then ": " and the reason where
/// there is one.
std::string failureLine(const Failure& failure);

}  // namespace brevox
