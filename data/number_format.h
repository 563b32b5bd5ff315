#pragma once

#include <string>

namespace brevox {

/// Line end of every file the program writes.
inline constexpr const char* kLineEnd = "\r\n";

/// A double as a freshly opened output stream writes it (general notation, six significant
/// digits), except that every NaN reads "nan" whatever its sign bit.
std::string formatDouble(double value);

/// Appends the text of formatDouble to `text`, without a string of its own.
void appendDouble(std::string& text, double value);

}  // namespace brevox
