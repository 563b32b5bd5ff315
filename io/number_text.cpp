#include "io/number_text.h"

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
