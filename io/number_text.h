#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brevox {

/// Line end of every file the program writes.
inline constexpr const char* kLineEnd = "\r\n";

/// A double as a freshly opened output stream writes it (general notation, six significant
/// digits), except that every NaN reads "nan" whatever its sign bit.
std::string formatDouble(double value);

/// Appends the text of formatDouble to `text`, without a string of its own.
void appendDouble(std::string& text, double value);

/// A whole number written in decimal digits alone, nothing else in the text; none when the text
/// is empty, holds any other character or stands for a number above 2^32 - 1.
[[nodiscard]] std::optional<std::uint32_t> decimalDigits(std::string_view text);

}  // namespace brevox
