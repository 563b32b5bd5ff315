#include "io/number_text.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>

namespace brevox {

void appendDouble(std::string& text, double value) {
  // A NaN from 0/0 carries the sign bit on x86, which the stream would print as "-nan".
  if (std::isnan(value)) {
    text += "nan";
    return;
  }
  // Most lines of a long binomial table hold these two.
  if (value == 0 && !std::signbit(value)) {
    text += '0';
    return;
  }
  if (value == 1) {
    text += '1';
    return;
  }
  // Six significant digits in general notation, the text of the stream's default precision in
  // the classic locale, which the program never replaces. The longest text, such as
  // "-2.22507e-308", has 13 characters.
  char digits[32];
  const std::to_chars_result end =
      std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 6);
  text.append(digits, static_cast<std::size_t>(end.ptr - digits));
}

std::string formatDouble(double value) {
  std::string text;
  appendDouble(text, value);
  return text;
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

std::optional<std::uint32_t> decimalDigits(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

}  // namespace brevox
