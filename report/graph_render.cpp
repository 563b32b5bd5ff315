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

#include "io/run_thread.h"
#include "io/utf8.h"
#include "report/graphviz_messages.h"
#include "report/page_text.h"
#include "report/svg_trim.h"

namespace brevox {

namespace {

// What Graphviz's text layout takes of the address space as it starts: fontconfig's caches, and a
// thread of Pango's with its stack and its allocator's arena. With less left under `ulimit -v`,
// fontconfig runs out of memory and crashes, or Pango's thread cannot start and GLib ends the
// process: the page is written without its drawings instead.
constexpr unsigned long long kGraphvizRoom = 128ULL << 20;

const char* const kNoRoomForGraphviz =
    "the limit on this run's address space (ulimit -v) leaves too little room for Graphviz and "
    "its text layout";

// Graphviz 2.42 cannot make a second context once one has been freed: its text layout keeps a
// font name that the first context owned. So the process makes one, on first use, and keeps it;
// none while the address space left is too small for it.
GVC_t* graphvizContext() {
  static GVC_t* context = nullptr;
  if (context == nullptr) {
    const std::optional<unsigned long long> left = addressSpaceLeft();
    if (left && *left < kGraphvizRoom) return nullptr;
    context = gvContext();
  }
  return context;
}

// The strengths of the arrows, weakest first: a dotted arrow stands for a result on too few
// cases, a dashed one for a pair that does not stand firm (the main test separates it only
// before the adjustment for the many pairs), a solid one for the others.
constexpr std::size_t kDotted = 0;
constexpr std::size_t kDashed = 1;
constexpr std::size_t kSolid = 2;

char styleAttribute[] = "style";

std::size_t strength(Agedge_t* edge) {
  const char* style = agget(edge, styleAttribute);
  if (style == nullptr) return kSolid;
  if (std::strstr(style, "dotted") != nullptr) return kDotted;
  return std::strstr(style, "dashed") != nullptr ? kDashed : kSolid;
}

// Dashes each solid arrow of the graph whose works are not among `firm`.
void dashLooseArrows(Agraph_t* graph, const FirmPairs& firm) {
  static char dashed[] = "dashed";
  static char none[] = "";
  for (Agnode_t* node = agfstnode(graph); node != nullptr; node = agnxtnode(graph, node)) {
    for (Agedge_t* edge = agfstout(graph, node); edge != nullptr; edge = agnxtout(graph, edge)) {
      std::string tail = agnameof(agtail(edge));
      std::string head = agnameof(aghead(edge));
      if (head < tail) std::swap(tail, head);
      if (strength(edge) == kSolid && firm.count({tail, head}) == 0) {
        agsafeset(edge, styleAttribute, dashed, none);
      }
    }
  }
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
  std::array<std::vector<std::vector<char>>, kSolid + 1> reach;
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

}  // namespace

GraphDrawing drawGraph(const std::string& dotText, bool reducible) {
  GraphDrawing drawing;
  // Graphviz loads its plugins with its context, and says so when one cannot be loaded.
  MessageCapture capture;
  GVC_t* context = graphvizContext();
  if (context == nullptr) {
    drawing.message = kNoRoomForGraphviz;
    return drawing;
  }
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
  std::size_t strength;
};

// What one of the drawings laid out together keeps: its arrows after the implied ones are left
// out, or why it is not drawn.
struct KeptArrows {
  GraphDrawing drawing;
  std::vector<Arrow> arrows;
};

KeptArrows keptArrows(const std::string& dotText, const FirmPairs* firm) {
  KeptArrows kept;
  MessageCapture capture;
  Agraph_t* graph = agmemread(dotText.c_str());
  if (graph == nullptr || capture.errorSeen()) {
    kept.drawing.message = failureMessage(capture, "Graphviz could not read the graph");
    if (graph != nullptr) agclose(graph);
    return kept;
  }
  if (firm != nullptr) dashLooseArrows(graph, *firm);
  kept.drawing.arrows = static_cast<std::size_t>(agnedges(graph));
  reduceDenseGraph(graph);
  kept.drawing.drawnArrows = static_cast<std::size_t>(agnedges(graph));
  kept.drawing.outcome =
      kept.drawing.drawnArrows > kDrawAtMost ? DrawingOutcome::tooDense : DrawingOutcome::drawn;
  for (Agnode_t* node = agfstnode(graph); node != nullptr; node = agnxtnode(graph, node)) {
    for (Agedge_t* edge = agfstout(graph, node); edge != nullptr; edge = agnxtout(graph, edge)) {
      kept.arrows.push_back({agnameof(agtail(edge)), agnameof(aghead(edge)), strength(edge)});
    }
  }
  agclose(graph);
  return kept;
}

// The id that the layout gives the arrow numbered `number`, which its SVG group carries.
std::string arrowId(std::size_t number) { return "brevoxarrow" + std::to_string(number); }

// The layout's SVG with only the arrows of `shown` (by number), each drawn in the style of its
// strength in `strengths`. Graphviz writes each arrow as a group of its own lines, opened by a
// line holding its id.
std::string svgWithArrows(const std::string& svg, const std::vector<char>& shown,
                          const std::vector<std::size_t>& strengths) {
  static const char* const kDashes[] = {" stroke-dasharray=\"1,5\"", " stroke-dasharray=\"6,4\"",
                                        ""};
  std::string result;
  result.reserve(svg.size());
  std::size_t start = 0;
  bool skipping = false;
  const char* dashes = "";
  static const std::string kGroupStart = "<g id=\"brevoxarrow";
  while (start < svg.size()) {
    std::size_t end = svg.find('\n', start);
    if (end == std::string::npos) end = svg.size();
    std::string line = svg.substr(start, end - start);
    start = end + 1;
    if (line.rfind(kGroupStart, 0) == 0) {
      const std::size_t number = std::strtoul(line.c_str() + kGroupStart.size(), nullptr, 10);
      skipping = number >= shown.size() || shown[number] == 0;
      dashes = skipping ? "" : kDashes[strengths[number]];
    }
    if (!skipping) {
      if (*dashes != '\0' && line.rfind("<path ", 0) == 0) line.insert(5, dashes);
      result += line;
      result += '\n';
    }
    if (line == "</g>") {
      skipping = false;
      dashes = "";
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
                                             const std::vector<std::string>& works,
                                             const FirmPairs* firstFirm) {
  std::vector<KeptArrows> drawings;
  // Every arrow kept by any drawing, numbered in the order first met.
  std::map<std::pair<std::string, std::string>, std::size_t> numbers;
  std::vector<const Arrow*> arrows;
  for (const std::string& text : dotTexts) {
    drawings.push_back(keptArrows(text, drawings.empty() ? firstFirm : nullptr));
  }
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
      std::vector<std::size_t> strengths(count, kSolid);
      for (std::size_t k = 0; k < own.size(); ++k) {
        const std::size_t number = together ? numbers.at({own[k]->tail, own[k]->head}) : k;
        shown[number] = 1;
        strengths[number] = own[k]->strength;
      }
      if (!svg.empty()) {
        const std::string drawn = svgWithArrows(svg, shown, strengths);
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
