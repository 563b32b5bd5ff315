#pragma once

#include <string>

namespace brevox {

/// The text as well-formed UTF-8. A byte that does not belong to a valid sequence is read as
/// Latin-1, the likeliest encoding of an older data file; where that would give a control
/// character, and for every control character but tab and line feed, U+FFFD stands in its place.
std::string wellFormed(const std::string& text);

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

}  // namespace brevox
