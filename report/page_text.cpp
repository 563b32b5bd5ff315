#include "report/page_text.h"

#include <algorithm>

namespace brevox {

std::string wellFormed(const std::string& text) {
  static const char kReplacement[] = "\xEF\xBF\xBD";
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
    // How many bytes follow the lead, and the range of the first of them (which excludes overlong
    // forms, surrogates and code points beyond U+10FFFF).
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
    }
    std::size_t end = i + 1;
    std::size_t found = 0;
    while (found < following && end < text.size()) {
      const auto next = static_cast<unsigned char>(text[end]);
      if (next < low || next > high) break;
      low = 0x80;
      high = 0xBF;
      ++end;
      ++found;
    }
    if (following > 0 && found == following) {
      result.append(text, i, end - i);
      i = end;
      continue;
    }
    if (lead >= 0xA0) {
      result += static_cast<char>(0xC0 | (lead >> 6));
      result += static_cast<char>(0x80 | (lead & 0x3F));
    } else {
      result += kReplacement;
    }
    ++i;
  }
  return result;
}

bool needsIsolation(const std::string& name) {
  return std::any_of(name.begin(), name.end(),
                     [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

std::string isolated(const std::string& name) {
  if (!needsIsolation(name)) return wellFormed(name);
  return "\xE2\x81\xA8" + wellFormed(name) + "\xE2\x81\xA9";
}

std::string graphvizLabel(const std::string& name, bool isolate) {
  std::string label;
  for (char c : isolate ? isolated(name) : wellFormed(name)) {
    if (c == '&') {
      label += "&amp;";
    } else {
      label += c;
    }
  }
  return label;
}

bool needsGraphvizLabel(const std::string& name) {
  return std::any_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return c == '&' || byte < 0x20 || byte >= 0x7F;
  });
}

}  // namespace brevox
