#pragma once

#include <string>

namespace brevox {

/// Graphviz's SVG as an element of a page, lighter by two thirds. Graphviz writes one element per
/// line; a line of another form is kept as it is. What goes: the XML prolog and DOCTYPE, comments
/// and titles (which repeat the names), ids and classes, the groups of each node and arrow, the
/// white background, and the colours and the node font that Graphviz gives everything by default,
/// which the page's style sheet supplies instead (kGraphStyle).
std::string inlineSvg(const char* data, unsigned int length);

}  // namespace brevox
