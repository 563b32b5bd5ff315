#include "io/failure.h"

namespace brevox {

std::string failureLine(const Failure& failure) {
  if (failure.reason.empty()) return failure.message;
  return failure.message + ": " + failure.reason;
}

}  // namespace brevox
