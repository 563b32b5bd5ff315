#include "io/number_text.h"

#include <cctype>
#include <cmath>
#include <limits>
#include <sstream>

namespace brevox {

std::string formatDouble(double value) {
  // A NaN from 0/0 carries the sign bit on x86, which the stream would print as "-nan".
  if (std::isnan(value)) return "nan";
  std::ostringstream text;
  text << value;
  return text.str();
}

ScannedInteger scanInteger(const std::string& text) {
  std::size_t position = 0;
  while (position < text.size() && std::isspace(static_cast<unsigned char>(text[position]))) {
    ++position;
  }
  bool negative = false;
  if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
    negative = text[position] == '-';
    ++position;
  }
  // Saturate rather than overflow: the magnitude stops growing at the limit of its sign.
  const std::int64_t limit = negative ? -std::int64_t{std::numeric_limits<std::int32_t>::min()}
                                      : std::int64_t{std::numeric_limits<std::int32_t>::max()};
  ScannedInteger scanned;
  std::int64_t magnitude = 0;
  while (position < text.size() && std::isdigit(static_cast<unsigned char>(text[position]))) {
    magnitude = magnitude * 10 + (text[position] - '0');
    if (magnitude > limit) {
      magnitude = limit;
      scanned.outOfRange = true;
    }
    scanned.digits = true;
    ++position;
  }
  scanned.value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return scanned;
}

}  // namespace brevox
