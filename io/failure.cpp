#include "io/failure.h"

namespace brevox {

std::string failureLine(const Failure& failure) {
  if (failure.reason.empty()) return failure.message;
  return failure.message + ": " + failure.reason;
}

bool printedFailure(const Outcome& outcome, std::ostream& err) {
  if (!outcome) return true;
  if (!outcome->message.empty()) err << failureLine(*outcome) << '\n';
  return false;
}

}  // namespace brevox
