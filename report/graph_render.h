#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace brevox {

/// What became of a graph that a page asked Graphviz to draw.
enum class DrawingOutcome {
  drawn,     ///< `svg` holds the drawing
  tooDense,  ///< more arrows than a drawing can show: nothing was laid out
  failed,    ///< Graphviz reported an error: `message` holds its words
  omitted,   ///< the page shows too many works to draw every test's graph: only its file has it
};

/// A graph drawn, or why it was not.
struct GraphDrawing {
  DrawingOutcome outcome = DrawingOutcome::failed;
  /// An <svg> element to embed in a page, styled by kGraphStyle, without XML prolog, DOCTYPE,
  /// comments, titles or element ids. The works' names appear in it as written, well formed
  /// (page_text); other labels as the DOT text holds them.
  std::string svg;
  /// Graphviz's own report of the error, one or more lines.
  std::string message;
  std::size_t arrows = 0;       ///< arrows in the DOT text
  std::size_t drawnArrows = 0;  ///< arrows in the drawing: fewer where implied ones were left out
};

/// A graph of one criterion with more arrows than this is drawn without the arrows that follow
/// from others: with its works ordered by a chain of arrows, every pair that differs is an arrow,
/// and dozens of works make a tangle that Graphviz needs minutes to lay out.
inline constexpr std::size_t kReduceAbove = 100;

/// A graph that would still have more arrows than this is not drawn: Graphviz's layout time grows
/// steeply beyond it, and the drawing would be a tangle.
inline constexpr std::size_t kDrawAtMost = 400;

/// Lays out a graph in the DOT language with Graphviz's dot engine, in process, and renders it as
/// SVG. With `reducible` (a graph of one criterion, whose arrows carry no labels) a graph of more
/// than kReduceAbove arrows and no cycle is drawn as its transitive reduction: an arrow from A to
/// C is left out where arrows lead from A to C through other works, each at least as strong (a
/// solid arrow is stronger than a dotted one); of several arrows from A to C the strongest stays.
///
/// Graphviz's warnings and errors, and those of the text layout it draws with, never reach the
/// console: an error makes the drawing `failed`, with Graphviz's words. Graphviz keeps state of its
/// own for the whole process and is not safe to use from two threads: call this from one thread
/// only.
GraphDrawing drawGraph(const std::string& dotText, bool reducible);

/// Pairs of works by their short names, the smaller name first.
using FirmPairs = std::set<std::pair<std::string, std::string>>;

/// Draws the graphs of one criterion (as drawGraph with `reducible`) on one layout, so that each
/// work stands at the same place in every drawing: dot lays out every work of `works` (short
/// names) and every arrow that any of the drawings keeps, once; each drawing then shows its own
/// arrows on it, dotted as its own text has them. Where those arrows together are more than
/// kDrawAtMost, each graph is laid out on its own, as drawGraph does. With `firstFirm`, the first
/// graph's solid arrows between works not among those pairs are dashed: weaker than a solid arrow
/// and stronger than a dotted one where implied arrows are left out. Returns one drawing per
/// text, in their order.
std::vector<GraphDrawing> drawGraphsTogether(const std::vector<std::string>& dotTexts,
                                             const std::vector<std::string>& works,
                                             const FirmPairs* firstFirm = nullptr);

/// The style a page needs for the drawings of drawGraph, each in an element of class "graph": the
/// colours and the node font that Graphviz gives by default, which the drawings leave out.
inline constexpr const char* kGraphStyle =
    ".graph svg :is(path,ellipse,polyline):not([fill]){fill:none}\n"
    ".graph svg :is(path,ellipse,polyline,polygon):not([stroke]){stroke:#000}\n"
    ".graph svg text:not([font-family]){font-family:Times,serif;font-size:14px}\n"
    ".graph svg text:not([text-anchor]){text-anchor:middle}\n";

}  // namespace brevox
