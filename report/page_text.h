#pragma once

#include <cstddef>
#include <string>

namespace brevox {

/// Whether a name must be kept apart from the text around it: it holds a character beyond ASCII,
/// which may be written from right to left or turn the direction of what follows (U+202E).
bool needsIsolation(const std::string& name);

/// The name, well formed, between U+2068 FIRST STRONG ISOLATE and U+2069 POP DIRECTIONAL ISOLATE
/// when it needs isolation: for texts that cannot hold markup (attributes, titles, the labels of
/// drawings).
std::string isolated(const std::string& name);

/// The text of a name in a label for Graphviz, which reads entities in labels ("A&amp;B" would
/// show as "A&B"): well formed, isolated when `isolate`, with "&" as "&amp;". Graphviz gives its
/// text layout only well-formed UTF-8 then.
std::string graphvizLabel(const std::string& name, bool isolate);

/// Whether a name must be given to Graphviz as such a label rather than as it stands: it holds
/// "&", a control character or a byte beyond ASCII.
bool needsGraphvizLabel(const std::string& name);

/// A number as printf's `format` prints it (at most 39 characters).
std::string printed(const char* format, double value);

/// A p-value within [0, 1]: a sum of probabilities may pass 1 by a rounding error.
double clampedP(double p);

/// A p-value as a journal prints it, within [0, 1]: three significant digits, two below 0.001,
/// where the third tells nothing and would weigh on a page of many works.
std::string pValueText(double p);

/// A whole number with a comma between each three digits.
std::string thousands(std::size_t value);

/// A number with a true minus sign (U+2212) where printf's format gives a hyphen.
std::string withMinus(std::string text);

/// A proportion or a difference of proportions: three decimals.
std::string proportionText(double value);

/// The number of characters of UTF-8 text.
std::size_t characters(const std::string& text);

/// The text cut to `most` characters, an ellipsis in place of the rest.
std::string shortened(const std::string& text, std::size_t most);

}  // namespace brevox
