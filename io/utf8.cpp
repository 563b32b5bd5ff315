#include "io/utf8.h"

namespace brevox {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

/// The length of the well-formed UTF-8 sequence that begins at `at`, or 0 where the byte there
/// begins none: the ranges of the bytes after the lead exclude overlong forms, surrogates and code
/// points beyond U+10FFFF.
std::size_t sequenceAt(const std::string& text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t following = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    following = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    following = 2;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    following = 3;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  for (std::size_t found = 1; found <= following; ++found) {
    if (at + found >= text.size()) return 0;
    const auto next = static_cast<unsigned char>(text[at + found]);
    if (next < low || next > high) return 0;
    low = 0x80;
    high = 0xBF;
  }
  return following + 1;
}

}  // namespace

void appendUtf8(std::uint32_t code, std::string& text) {
  if (code < 0x80) {
    text += static_cast<char>(code);
    return;
  }
  if (code < 0x800) {
    text += static_cast<char>(0xC0 | (code >> 6));
  } else {
    if (code < 0x10000) {
      text += static_cast<char>(0xE0 | (code >> 12));
    } else {
      text += static_cast<char>(0xF0 | (code >> 18));
      text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    }
    text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  }
  text += static_cast<char>(0x80 | (code & 0x3F));
}

std::string wellFormed(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      const bool control = (lead < 0x20 && lead != '\t' && lead != '\n') || lead == 0x7F;
      if (control) {
        result += kReplacement;
      } else {
        result += static_cast<char>(lead);
      }
      ++i;
      continue;
    }
    if (const std::size_t length = sequenceAt(text, i)) {
      result.append(text, i, length);
      i += length;
      continue;
    }
    // Latin-1 stands where a byte begins no character; its C1 controls do not.
    if (lead >= 0xA0) {
      appendUtf8(lead, result);
    } else {
      result += kReplacement;
    }
    ++i;
  }
  return result;
}

}  // namespace brevox
