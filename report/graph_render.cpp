#include "report/graph_render.h"

#include <gvc.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "io/utf8.h"
#include "report/graphviz_messages.h"
#include "report/page_text.h"

namespace brevox {

namespace {

// Graphviz 2.42 cannot make a second context once one has been freed: its text layout keeps a
// font name that the first context owned. So the process makes one, on first use, and keeps it.
GVC_t* graphvizContext() {
  static GVC_t* const context = gvContext();
  return context;
}

// A dotted arrow stands for a result on too few cases: it is weaker than a solid one.
std::size_t strength(Agedge_t* edge) {
  static char styleAttribute[] = "style";
  const char* style = agget(edge, styleAttribute);
  return style != nullptr && std::strstr(style, "dotted") != nullptr ? 0 : 1;
}

// Gives each work whose name Graphviz would not show as written a label that it shows so: Graphviz
// reads entities in labels, where "A&B" and "A&amp;B" would both show as "A&B", and hands its text
// layout bytes that are not UTF-8 as they come. The nodes keep their names, and so their order.
void labelAwkwardNames(Agraph_t* graph) {
  static char labelAttribute[] = "label";
  static char nodeName[] = "\\N";
  for (Agnode_t* node = agfstnode(graph); node != nullptr; node = agnxtnode(graph, node)) {
    const std::string name = agnameof(node);
    if (!needsGraphvizLabel(name)) continue;
    std::string label = graphvizLabel(name, false);
    agsafeset(node, labelAttribute, label.data(), nodeName);
  }
}

struct NodeIndex {
  std::vector<Agnode_t*> nodes;
  std::unordered_map<Agnode_t*, std::size_t> index;
};

NodeIndex indexNodes(Agraph_t* graph) {
  NodeIndex nodes;
  for (Agnode_t* node = agfstnode(graph); node != nullptr; node = agnxtnode(graph, node)) {
    nodes.index.emplace(node, nodes.nodes.size());
    nodes.nodes.push_back(node);
  }
  return nodes;
}

// The nodes in an order in which every arrow points forward, or nothing when there is a cycle.
std::optional<std::vector<std::size_t>> topologicalOrder(Agraph_t* graph, const NodeIndex& nodes) {
  const std::size_t count = nodes.nodes.size();
  std::vector<std::size_t> incoming(count, 0);
  for (std::size_t i = 0; i < count; ++i) {
    for (Agedge_t* edge = agfstout(graph, nodes.nodes[i]); edge != nullptr;
         edge = agnxtout(graph, edge)) {
      ++incoming[nodes.index.at(aghead(edge))];
    }
  }
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < count; ++i) {
    if (incoming[i] == 0) order.push_back(i);
  }
  for (std::size_t next = 0; next < order.size(); ++next) {
    for (Agedge_t* edge = agfstout(graph, nodes.nodes[order[next]]); edge != nullptr;
         edge = agnxtout(graph, edge)) {
      const std::size_t head = nodes.index.at(aghead(edge));
      if (--incoming[head] == 0) order.push_back(head);
    }
  }
  if (order.size() != count) return std::nullopt;
  return order;
}

// Leaves out every arrow that a path of two or more arrows, each at least as strong, implies, and
// every arrow that another from the same work to the same work, at least as strong, repeats. The
// graph has no cycle.
void leaveOutImpliedArrows(Agraph_t* graph, const NodeIndex& nodes,
                           const std::vector<std::size_t>& order) {
  const std::size_t count = nodes.nodes.size();
  // reach[s][i][j]: a path of one or more arrows of strength s or more leads from i to j. Walking
  // the order backwards, every successor's row is complete before it is used.
  std::array<std::vector<std::vector<char>>, 2> reach;
  for (auto& rows : reach) rows.assign(count, std::vector<char>(count, 0));
  for (auto position = order.rbegin(); position != order.rend(); ++position) {
    const std::size_t from = *position;
    for (Agedge_t* edge = agfstout(graph, nodes.nodes[from]); edge != nullptr;
         edge = agnxtout(graph, edge)) {
      const std::size_t to = nodes.index.at(aghead(edge));
      for (std::size_t level = 0; level <= strength(edge); ++level) {
        std::vector<char>& row = reach[level][from];
        row[to] = 1;
        for (std::size_t j = 0; j < count; ++j) row[j] |= reach[level][to][j];
      }
    }
  }
  std::vector<Agedge_t*> implied;
  for (std::size_t from = 0; from < count; ++from) {
    // The strongest arrow to each work, which a repeat does not replace.
    std::unordered_map<std::size_t, Agedge_t*> kept;
    for (Agedge_t* edge = agfstout(graph, nodes.nodes[from]); edge != nullptr;
         edge = agnxtout(graph, edge)) {
      const std::size_t to = nodes.index.at(aghead(edge));
      auto [place, first] = kept.emplace(to, edge);
      if (!first && strength(edge) > strength(place->second)) {
        implied.push_back(place->second);
        place->second = edge;
      } else if (!first) {
        implied.push_back(edge);
      }
    }
    for (const auto& [to, edge] : kept) {
      const std::size_t level = strength(edge);
      for (Agedge_t* other = agfstout(graph, nodes.nodes[from]); other != nullptr;
           other = agnxtout(graph, other)) {
        const std::size_t via = nodes.index.at(aghead(other));
        if (via != to && strength(other) >= level && reach[level][via][to] != 0) {
          implied.push_back(edge);
          break;
        }
      }
    }
  }
  for (Agedge_t* edge : implied) agdeledge(graph, edge);
}

// Leaves out the implied arrows of a graph of more than kReduceAbove arrows without a cycle.
void reduceDenseGraph(Agraph_t* graph) {
  if (static_cast<std::size_t>(agnedges(graph)) <= kReduceAbove) return;
  const NodeIndex nodes = indexNodes(graph);
  if (const std::optional<std::vector<std::size_t>> order = topologicalOrder(graph, nodes)) {
    leaveOutImpliedArrows(graph, nodes, *order);
  }
}

// The numbers of a path or polygon to whole points: a fraction of a point is lost in any drawing
// scaled to a page, and the digits are most of a dense drawing's weight.
std::string roundedNumbers(const std::string& points) {
  std::string rounded;
  std::size_t i = 0;
  while (i < points.size()) {
    const char c = points[i];
    const bool starts = (c >= '0' && c <= '9') || (c == '-' && i + 1 < points.size() &&
                                                   points[i + 1] >= '0' && points[i + 1] <= '9');
    if (!starts) {
      rounded += c;
      ++i;
      continue;
    }
    std::size_t end = i + 1;
    while (end < points.size() &&
           ((points[end] >= '0' && points[end] <= '9') || points[end] == '.')) {
      ++end;
    }
    const long whole = std::lround(std::strtod(points.substr(i, end - i).c_str(), nullptr));
    rounded += std::to_string(whole == 0 ? 0 : whole);
    i = end;
  }
  return rounded;
}

// Where the attribute `name` (with its leading blank and "=\"") stands in a line: from its name to
// its closing quote, and where its value begins.
struct AttributePlace {
  std::size_t start;
  std::size_t from;
  std::size_t to;
};

std::optional<AttributePlace> findAttribute(const std::string& line, const char* name) {
  const std::size_t start = line.find(name);
  if (start == std::string::npos) return std::nullopt;
  const std::size_t from = start + std::strlen(name);
  const std::size_t to = line.find('"', from);
  if (to == std::string::npos) return std::nullopt;
  return AttributePlace{start, from, to};
}

// Rounds the numbers of the attribute `name` in a line.
void roundAttribute(std::string& line, const char* name) {
  if (const std::optional<AttributePlace> at = findAttribute(line, name)) {
    line.replace(at->from, at->to - at->from,
                 roundedNumbers(line.substr(at->from, at->to - at->from)));
  }
}

// A polygon closes by itself, but Graphviz repeats its first point at its end.
void dropClosingPoint(std::string& line) {
  const std::optional<AttributePlace> at = findAttribute(line, " points=\"");
  if (!at) return;
  const std::size_t from = at->from;
  const std::size_t to = at->to;
  const std::size_t firstEnd = line.find(' ', from);
  const std::size_t lastStart = line.rfind(' ', to);
  if (firstEnd == std::string::npos || lastStart <= firstEnd || lastStart < from) return;
  if (line.compare(from, firstEnd - from, line, lastStart + 1, to - lastStart - 1) == 0) {
    line.erase(lastStart, to - lastStart);
  }
}

void dropText(std::string& line, const char* text) {
  const std::size_t at = line.find(text);
  if (at != std::string::npos) line.erase(at, std::strlen(text));
}

void dropAttribute(std::string& line, const char* name) {
  if (const std::optional<AttributePlace> at = findAttribute(line, name)) {
    line.erase(at->start, at->to + 1 - at->start);
  }
}

// Graphviz's SVG as an element of a page, lighter by two thirds. Graphviz writes one element per
// line; a line of another form is kept as it is. What goes: the XML prolog and DOCTYPE, comments
// and titles (which repeat the names), ids and classes, the groups of each node and arrow, the
// white background, and the colours and the node font that Graphviz gives everything by default,
// which the page's style sheet supplies instead (kGraphStyle).
std::string inlineSvg(const char* data, unsigned int length) {
  const std::string svg(data, length);
  std::string element;
  element.reserve(svg.size() / 2);
  std::size_t start = svg.find("<svg");
  // Whether each open group was kept, to know whether its end is.
  std::vector<bool> groups;
  bool inComment = false;
  while (start < svg.size()) {
    std::size_t end = svg.find('\n', start);
    if (end == std::string::npos) end = svg.size();
    std::string line = svg.substr(start, end - start);
    start = end + 1;
    if (inComment || line.rfind("<!--", 0) == 0) {
      inComment = line.find("-->") == std::string::npos;
      continue;
    }
    if (line.rfind("<title>", 0) == 0 && line.size() >= 8 &&
        line.compare(line.size() - 8, 8, "</title>") == 0) {
      continue;
    }
    if (line.rfind("<g ", 0) == 0) {
      const bool itemGroup = line.find("class=\"node\"") != std::string::npos ||
                             line.find("class=\"edge\"") != std::string::npos;
      groups.push_back(!itemGroup);
      if (itemGroup) continue;
      dropAttribute(line, " id=\"");
      dropAttribute(line, " class=\"");
    } else if (line == "</g>") {
      const bool kept = groups.empty() || groups.back();
      if (!groups.empty()) groups.pop_back();
      if (!kept) continue;
    } else if (line.rfind("<polygon fill=\"white\" stroke=\"transparent\"", 0) == 0) {
      continue;
    } else {
      dropText(line, " fill=\"none\" stroke=\"black\"");
      dropText(line, " fill=\"black\" stroke=\"black\"");
      dropText(line, " font-family=\"Times,serif\" font-size=\"14.00\"");
      dropText(line, " text-anchor=\"middle\"");
      roundAttribute(line, " d=\"");
      roundAttribute(line, " points=\"");
      dropClosingPoint(line);
    }
    element += line;
    element += '\n';
  }
  return element;
}

}  // namespace

GraphDrawing drawGraph(const std::string& dotText, bool reducible) {
  GraphDrawing drawing;
  // Graphviz loads its plugins with its context, and says so when one cannot be loaded.
  MessageCapture capture;
  GVC_t* context = graphvizContext();
  Agraph_t* graph = agmemread(dotText.c_str());
  if (graph == nullptr || capture.errorSeen()) {
    drawing.message = failureMessage(capture, "Graphviz could not read the graph");
    if (graph != nullptr) agclose(graph);
    return drawing;
  }
  labelAwkwardNames(graph);
  drawing.arrows = static_cast<std::size_t>(agnedges(graph));
  if (reducible) reduceDenseGraph(graph);
  drawing.drawnArrows = static_cast<std::size_t>(agnedges(graph));
  if (drawing.drawnArrows > kDrawAtMost) {
    drawing.outcome = DrawingOutcome::tooDense;
    agclose(graph);
    return drawing;
  }
  if (context == nullptr || gvLayout(context, graph, "dot") != 0 || capture.errorSeen()) {
    drawing.message = failureMessage(capture, "Graphviz could not lay out the graph");
    agclose(graph);
    return drawing;
  }
  char* data = nullptr;
  unsigned int length = 0;
  const int rendered = gvRenderData(context, graph, "svg", &data, &length);
  if (rendered == 0 && !capture.errorSeen() && data != nullptr) {
    drawing.svg = inlineSvg(data, length);
  }
  if (data != nullptr) gvFreeRenderData(data);
  gvFreeLayout(context, graph);
  agclose(graph);
  if (drawing.svg.empty()) {
    drawing.message = failureMessage(capture, "Graphviz could not render the graph as SVG");
    return drawing;
  }
  drawing.outcome = DrawingOutcome::drawn;
  return drawing;
}

}  // namespace brevox

namespace brevox {

namespace {

// An arrow of one of the drawings laid out together.
struct Arrow {
  std::string tail;
  std::string head;
  bool dotted;
};

// What one of the drawings laid out together keeps: its arrows after the implied ones are left
// out, or why it is not drawn.
struct KeptArrows {
  GraphDrawing drawing;
  std::vector<Arrow> arrows;
};

KeptArrows keptArrows(const std::string& dotText) {
  KeptArrows kept;
  MessageCapture capture;
  Agraph_t* graph = agmemread(dotText.c_str());
  if (graph == nullptr || capture.errorSeen()) {
    kept.drawing.message = failureMessage(capture, "Graphviz could not read the graph");
    if (graph != nullptr) agclose(graph);
    return kept;
  }
  kept.drawing.arrows = static_cast<std::size_t>(agnedges(graph));
  reduceDenseGraph(graph);
  kept.drawing.drawnArrows = static_cast<std::size_t>(agnedges(graph));
  kept.drawing.outcome =
      kept.drawing.drawnArrows > kDrawAtMost ? DrawingOutcome::tooDense : DrawingOutcome::drawn;
  for (Agnode_t* node = agfstnode(graph); node != nullptr; node = agnxtnode(graph, node)) {
    for (Agedge_t* edge = agfstout(graph, node); edge != nullptr; edge = agnxtout(graph, edge)) {
      kept.arrows.push_back({agnameof(agtail(edge)), agnameof(aghead(edge)), strength(edge) == 0});
    }
  }
  agclose(graph);
  return kept;
}

// The id that the layout gives the arrow numbered `number`, which its SVG group carries.
std::string arrowId(std::size_t number) { return "brevoxarrow" + std::to_string(number); }

// The layout's SVG with only the arrows of `shown` (by number), those of `dotted` dotted. Graphviz
// writes each arrow as a group of its own lines, opened by a line holding its id.
std::string svgWithArrows(const std::string& svg, const std::vector<char>& shown,
                          const std::vector<char>& dotted) {
  std::string result;
  result.reserve(svg.size());
  std::size_t start = 0;
  bool skipping = false;
  bool dotting = false;
  static const std::string kGroupStart = "<g id=\"brevoxarrow";
  while (start < svg.size()) {
    std::size_t end = svg.find('\n', start);
    if (end == std::string::npos) end = svg.size();
    std::string line = svg.substr(start, end - start);
    start = end + 1;
    if (line.rfind(kGroupStart, 0) == 0) {
      const std::size_t number = std::strtoul(line.c_str() + kGroupStart.size(), nullptr, 10);
      skipping = number >= shown.size() || shown[number] == 0;
      dotting = !skipping && dotted[number] != 0;
    }
    if (!skipping) {
      if (dotting && line.rfind("<path ", 0) == 0) {
        line.insert(5, " stroke-dasharray=\"1,5\"");
      }
      result += line;
      result += '\n';
    }
    if (line == "</g>") {
      skipping = false;
      dotting = false;
    }
  }
  return result;
}

// Lays out the works (short names) and the arrows with dot and renders them as SVG, each arrow's
// group carrying arrowId of its number. Empty when Graphviz fails.
std::string renderArrows(const std::vector<std::string>& works,
                         const std::vector<const Arrow*>& arrows) {
  // Graphviz loads its plugins with its context, and says so when one cannot be loaded.
  MessageCapture capture;
  GVC_t* context = graphvizContext();
  if (context == nullptr) return "";
  static char name[] = "layout";
  static char idName[] = "id";
  static char empty[] = "";
  Agraph_t* graph = agopen(name, Agdirected, nullptr);
  Agsym_t* id = agattr(graph, AGEDGE, idName, empty);
  std::vector<char> text;
  auto node = [&](const std::string& work) {
    text.assign(work.begin(), work.end());
    text.push_back('\0');
    return agnode(graph, text.data(), 1);
  };
  for (const std::string& work : works) node(work);
  for (std::size_t number = 0; number < arrows.size(); ++number) {
    Agnode_t* tail = node(arrows[number]->tail);
    Agnode_t* head = node(arrows[number]->head);
    Agedge_t* edge = agedge(graph, tail, head, nullptr, 1);
    const std::string arrowName = arrowId(number);
    text.assign(arrowName.begin(), arrowName.end());
    text.push_back('\0');
    agxset(edge, id, text.data());
  }
  labelAwkwardNames(graph);
  std::string svg;
  if (gvLayout(context, graph, "dot") == 0 && !capture.errorSeen()) {
    char* data = nullptr;
    unsigned int length = 0;
    if (gvRenderData(context, graph, "svg", &data, &length) == 0 && !capture.errorSeen() &&
        data != nullptr) {
      svg.assign(data, length);
    }
    if (data != nullptr) gvFreeRenderData(data);
    gvFreeLayout(context, graph);
  }
  agclose(graph);
  return svg;
}

}  // namespace

std::vector<GraphDrawing> drawGraphsTogether(const std::vector<std::string>& dotTexts,
                                             const std::vector<std::string>& works) {
  std::vector<KeptArrows> drawings;
  // Every arrow kept by any drawing, numbered in the order first met.
  std::map<std::pair<std::string, std::string>, std::size_t> numbers;
  std::vector<const Arrow*> arrows;
  for (const std::string& text : dotTexts) drawings.push_back(keptArrows(text));
  for (const KeptArrows& kept : drawings) {
    if (kept.drawing.outcome != DrawingOutcome::drawn) continue;
    for (const Arrow& arrow : kept.arrows) {
      if (numbers.emplace(std::make_pair(arrow.tail, arrow.head), arrows.size()).second) {
        arrows.push_back(&arrow);
      }
    }
  }
  // Too many arrows together for one layout: each drawing is laid out on its own.
  const bool together = arrows.size() <= kDrawAtMost;
  const std::string layout = together ? renderArrows(works, arrows) : std::string();
  std::vector<GraphDrawing> result;
  for (KeptArrows& kept : drawings) {
    if (kept.drawing.outcome == DrawingOutcome::drawn && kept.drawing.arrows > 0) {
      std::vector<const Arrow*> own;
      for (const Arrow& arrow : kept.arrows) own.push_back(&arrow);
      const std::string svg = together ? layout : renderArrows({}, own);
      // Which arrows of the layout this drawing shows, and which of them dotted.
      const std::size_t count = together ? arrows.size() : own.size();
      std::vector<char> shown(count, 0);
      std::vector<char> dotted(count, 0);
      for (std::size_t k = 0; k < own.size(); ++k) {
        const std::size_t number = together ? numbers.at({own[k]->tail, own[k]->head}) : k;
        shown[number] = 1;
        dotted[number] = own[k]->dotted ? 1 : 0;
      }
      if (!svg.empty()) {
        const std::string drawn = svgWithArrows(svg, shown, dotted);
        kept.drawing.svg = inlineSvg(drawn.data(), static_cast<unsigned int>(drawn.size()));
      } else {
        kept.drawing.outcome = DrawingOutcome::failed;
        kept.drawing.message = "Graphviz could not lay out the graph";
      }
    }
    result.push_back(std::move(kept.drawing));
  }
  return result;
}

}  // namespace brevox
