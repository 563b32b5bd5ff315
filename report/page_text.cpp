#include "report/page_text.h"

#include <algorithm>
#include <cstdio>

#include "io/utf8.h"

namespace brevox {

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

std::string printed(const char* format, double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

std::string pValueText(double p) { return printed(p >= 0.001 ? "%.3g" : "%.2g", p); }

std::string thousands(std::size_t value) {
  std::string digits = std::to_string(value);
  for (std::size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
  return digits;
}

}  // namespace brevox
