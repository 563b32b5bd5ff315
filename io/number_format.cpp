#include "io/number_format.h"

#include <cmath>
#include <sstream>

namespace brevox {

std::string formatDouble(double value) {
  // A NaN from 0/0 carries the sign bit on x86, which the stream would print as "-nan".
  if (std::isnan(value)) return "nan";
  std::ostringstream text;
  text << value;
  return text.str();
}

}  // namespace brevox
