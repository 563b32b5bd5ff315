#include "report/page_text.h"

#include <algorithm>
#include <cmath>
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

double clampedP(double p) { return std::isnan(p) ? p : std::clamp(p, 0.0, 1.0); }

std::string pValueText(double p) {
  const double clamped = clampedP(p);
  return printed(clamped >= 0.001 ? "%.3g" : "%.2g", clamped);
}

std::string thousands(std::size_t value) {
  std::string digits = std::to_string(value);
  for (std::size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
  return digits;
}

std::string withMinus(std::string text) {
  if (!text.empty() && text[0] == '-') text.replace(0, 1, "\xE2\x88\x92");
  return text;
}

std::string proportionText(double value) { return withMinus(printed("%.3f", value)); }

std::size_t characters(const std::string& text) {
  std::size_t count = 0;
  for (char c : text) count += isUtf8Continuation(c) ? 0 : 1;
  return count;
}

std::string shortened(const std::string& text, std::size_t most) {
  if (characters(text) <= most) return text;
  std::size_t kept = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    if (!isUtf8Continuation(text[at])) {
      if (kept == most - 1) break;
      ++kept;
    }
    ++at;
  }
  return text.substr(0, at) + "\xE2\x80\xA6";
}

}  // namespace brevox
