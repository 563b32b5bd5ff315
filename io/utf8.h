#pragma once

#include <cstdint>
#include <string>

namespace brevox {

/// Appends the UTF-8 bytes of a Unicode code point.
void appendUtf8(std::uint32_t code, std::string& text);

/// Whether a byte continues a UTF-8 character rather than beginning one.
inline bool isUtf8Continuation(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

/// The text as well-formed UTF-8. A byte that does not belong to a valid sequence is read as
/// Latin-1, the likeliest encoding of an older data file; where that would give a control
/// character, and for every control character but tab and line feed, U+FFFD stands in its place.
std::string wellFormed(const std::string& text);

}  // namespace brevox
