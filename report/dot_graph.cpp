#include "report/dot_graph.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "io/number_text.h"
#include "io/output_file.h"
#include "report/output_names.h"
#include "report/page_text.h"

namespace brevox {

namespace {

// Words that Graphviz reserves whatever their case; bare, they would be read as keywords.
bool isDotKeyword(const std::string& name) {
  static const std::string_view kKeywords[] = {"node",    "edge",     "graph",
                                               "digraph", "subgraph", "strict"};
  for (const std::string_view word : kKeywords) {
    if (word.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < word.size() && same; ++i) {
      same = std::tolower(static_cast<unsigned char>(name[i])) == word[i];
    }
    if (same) return true;
  }
  return false;
}

bool isIdentifierCharacter(char character) {
  return (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z') ||
         (character >= '0' && character <= '9') || character == '_';
}

// The inside of a quoted DOT string: a quote would end it early and a backslash would start an
// escape sequence in labels.
std::string escapedForQuotes(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char character : text) {
    if (character == '"' || character == '\\') escaped += '\\';
    escaped += character;
  }
  return escaped;
}

// The texts of a graph over all criteria. The label opened by kLabelStart runs on over the
// legend line; the edge styles open an edge's label, which kEdgeLabelEnd closes.
const char* const kGraphAttributesStart = "graph[";
const char* const kFontSize = "fontsize = 8; ";
const char* const kFontName = "fontname = \"sans-serif\"";
const char* const kLabelStart = "label = \"\\n";
const char* const kRankDirection = "rankdir = \"LR\";";
const char* const kEdgeLabelEnd = "\", decorate = true, fontsize = 8, fontname = \"sans-serif\"];";
const char* const kOneValidCriterion = " [style = solid, label = \"";
const char* const kValidUnderAll = " [style = bold, label = \"All";
const char* const kValidUnderSeveral = " [style = bold, label = \"";
const char* const kNotValidUnderAll = " [style = dotted, label = \"All";
const char* const kNotValidUnderSome = " [style = dotted, label = \"";

}  // namespace

std::string dotId(const std::string& name) {
  bool valid = !name.empty() && !(name[0] >= '0' && name[0] <= '9') && !isDotKeyword(name);
  for (std::size_t i = 0; i < name.size() && valid; ++i) valid = isIdentifierCharacter(name[i]);
  if (valid) return name;
  return "\"" + escapedForQuotes(name) + "\"";
}

namespace {

// The pair's works as its edge joins them: arrows follow the criterion's ordering, with +1 they
// point to the larger proportion.
std::pair<std::uint32_t, std::uint32_t> edgeEnds(const PairComparison& pair, const DataSet& data) {
  const double proportionA = static_cast<double>(pair.observedA) / static_cast<double>(pair.totalA);
  const double proportionB = static_cast<double>(pair.observedB) / static_cast<double>(pair.totalB);
  const double ordering = static_cast<double>(direction(data, pair.criterion));
  const bool reversed = (proportionA - proportionB) * ordering > 0;
  return reversed ? std::make_pair(pair.workB, pair.workA) : std::make_pair(pair.workA, pair.workB);
}

}  // namespace

std::string criterionEdgeLine(const PairComparison& pair, bool valid, bool dottedEdges,
                              const DataSet& data) {
  if (!valid && !dottedEdges) return "";
  const auto [source, target] = edgeEnds(pair, data);
  return dotId(workShortName(data, source)) + " -> " + dotId(workShortName(data, target)) +
         (valid ? ";" : " [style=dotted];");
}

namespace {

// The entry of `key` in a list sorted by its keys, made where it is missing.
template <typename Value>
Value& entryOf(std::vector<std::pair<std::uint32_t, Value>>& list, std::uint32_t key) {
  auto place = std::lower_bound(list.begin(), list.end(), key,
                                [](const std::pair<std::uint32_t, Value>& entry, std::uint32_t k) {
                                  return entry.first < k;
                                });
  if (place == list.end() || place->first != key) place = list.insert(place, {key, Value{}});
  return place->second;
}

}  // namespace

void recordEdge(EdgeRecordMap& records, std::uint32_t source, std::uint32_t target,
                std::uint32_t criterion, bool valid) {
  entryOf(entryOf(records[source], target), criterion) = valid;
}

std::string makeCriterionEdge(const PairComparison& pair, bool valid, bool dottedEdges,
                              EdgeRecordMap& records, const DataSet& data) {
  const auto [source, target] = edgeEnds(pair, data);
  recordEdge(records, source, target, pair.criterion, valid);
  return criterionEdgeLine(pair, valid, dottedEdges, data);
}

bool graphDrawn(const RunSettings& settings, std::size_t graph) {
  return graph == kMergedGraph ? settings.mergeMain.has_value()
                               : settings.families[kVariants[graph].family];
}

std::string criterionGraphHeader(std::size_t graph, const std::string& criterionShortName) {
  return "digraph " + dotId(std::string(graphNames(graph).tag) + "_" + criterionShortName) + " {";
}

PairEdges pairEdges(const VariantOutcomes& outcomes, const RunSettings& settings) {
  PairEdges edges;
  MergeSlot main;
  MergeSlot subordinate;
  for (const VariantDescriptor& variant : kVariants) {
    const std::optional<VariantOutcome>& outcome = outcomes[index(variant.variant)];
    if (!outcome || outcome->undefined) continue;
    if (outcome->flag == 1) edges[index(variant.variant)] = outcome->valid;
    const MergeSlot slot{outcome->valid, outcome->flag == 1};
    if (settings.mergeMain == variant.variant) main = slot;
    if (settings.mergeSub == variant.variant) subordinate = slot;
  }
  if (settings.mergeMain) edges[kMergedGraph] = mergedEdgeValidity(main, subordinate);
  return edges;
}

std::optional<bool> mergedEdgeValidity(const MergeSlot& main, const MergeSlot& subordinate) {
  // The main test decides wherever it rests on enough data; the subordinate one only fills in
  // where it does not.
  if (main.significant && (main.valid || !subordinate.valid)) return main.valid;
  if (subordinate.significant && !main.valid) return subordinate.valid;
  return std::nullopt;
}

std::size_t writeAllCriteriaGraph(std::ostream& out, const std::string& header, bool dottedEdges,
                                  const EdgeRecordMap& records, const DataSet& data, bool forPage) {
  const char* const separator = forPage ? ", " : "";
  std::size_t arrows = 0;
  const std::size_t criterionCount = data.criteria.size();
  out << header << " {" << kLineEnd;
  out << kGraphAttributesStart << kLineEnd << kFontSize << kLineEnd << kFontName << kLineEnd;
  out << kLabelStart << "All: all " << criterionCount << " criteria;" << kLineEnd;
  for (const auto& [number, shortName] : criterionShortNames(data)) {
    out << number << ": " << escapedForQuotes(forPage ? graphvizLabel(shortName, true) : shortName)
        << ";";
    if (number % 2 == 0) out << "\\n";
  }
  out << "\";" << kLineEnd;
  out << "ranksep = 0.1;" << kLineEnd << kRankDirection << kLineEnd << "]" << kLineEnd;
  for (const auto& [source, targets] : records) {
    for (const auto& [target, criteria] : targets) {
      std::string validList;
      std::string otherList;
      std::size_t validCount = 0;
      std::size_t otherCount = 0;
      for (const auto& [criterion, valid] : criteria) {
        std::string& list = valid ? validList : otherList;
        list += (list.empty() ? "" : separator) + std::to_string(criterion);
        ++(valid ? validCount : otherCount);
      }
      const std::string edge =
          dotId(workShortName(data, source)) + " -> " + dotId(workShortName(data, target));
      if (validCount > 0) {
        out << edge;
        // A single criterion is named even when it is the only one of the data set.
        if (validCount == 1) {
          out << kOneValidCriterion << validList;
        } else if (validCount == criterionCount) {
          out << kValidUnderAll;
        } else {
          out << kValidUnderSeveral << validList;
        }
        out << kEdgeLabelEnd << kLineEnd;
        ++arrows;
      }
      if (otherCount > 0 && dottedEdges) {
        out << edge;
        if (otherCount == criterionCount) {
          out << kNotValidUnderAll;
        } else {
          out << kNotValidUnderSome << otherList;
        }
        out << kEdgeLabelEnd << kLineEnd;
        ++arrows;
      }
    }
  }
  out << "}" << kLineEnd;
  return arrows;
}

Outcome writeAllCriteriaGraph(const std::string& fileName, const std::string& header,
                              bool dottedEdges, const EdgeRecordMap& records, const DataSet& data) {
  return writeFile(fileName, [&](std::ostream& out) {
    writeAllCriteriaGraph(out, header, dottedEdges, records, data);
  });
}

namespace {

/// The graph files of the criterion being written, and the edges of every criterion so far.
struct GraphFiles {
  RunSettings settings;
  EdgeRecords& records;
  std::shared_ptr<CriterionGraphTexts> texts;                  ///< null where no output reads them
  std::array<std::unique_ptr<OutputFile>, kGraphCount> files;  ///< null where not open
};

// The order in which a criterion's graphs are opened: family by family, then the merged one.
std::vector<std::size_t> openingOrder(const RunSettings& settings) {
  std::vector<std::size_t> order;
  for (const Family family : kFileOrder) {
    for (const VariantDescriptor& variant : kVariants) {
      if (variant.family == family && graphDrawn(settings, index(variant.variant))) {
        order.push_back(index(variant.variant));
      }
    }
  }
  if (graphDrawn(settings, kMergedGraph)) order.push_back(kMergedGraph);
  return order;
}

// A line of a criterion's graph, into its file and its text.
void writeGraphLine(GraphFiles& graphs, std::size_t graph, const std::string& line) {
  graphs.files[graph]->stream << line << kLineEnd;
  if (graphs.texts) (*graphs.texts)[graph].append(line).append(kLineEnd);
}

Outcome beginGraphs(GraphFiles& graphs, std::uint32_t criterion, const DataSet& data) {
  const std::string& name = criterionShortName(data, criterion);
  if (graphs.texts) *graphs.texts = CriterionGraphTexts{};
  for (const std::size_t graph : openingOrder(graphs.settings)) {
    auto file = std::make_unique<OutputFile>();
    if (Outcome failure = openOutputFile(*file, criterionGraphFileName(graph, name))) {
      // The run stops, and none of the criterion's graphs is complete.
      for (auto& opened : graphs.files) opened.reset();
      return failure;
    }
    graphs.files[graph] = std::move(file);
    writeGraphLine(graphs, graph, criterionGraphHeader(graph, name));
  }
  return std::nullopt;
}

void takeGraphPair(GraphFiles& graphs, const TestedPair& tested, const DataSet& data) {
  if (!tested.table) return;
  const PairEdges edges = pairEdges(tested.outcomes, graphs.settings);
  for (std::size_t graph = 0; graph < kGraphCount; ++graph) {
    if (!edges[graph] || !graphs.files[graph]) continue;
    writeGraphLine(graphs, graph,
                   makeCriterionEdge(*tested.table, *edges[graph], graphs.settings.dottedEdges,
                                     graphs.records[graph], data));
  }
}

Failures closeGraphs(GraphFiles& graphs) {
  Failures failures;
  for (const std::size_t graph : openingOrder(graphs.settings)) {
    std::unique_ptr<OutputFile>& file = graphs.files[graph];
    if (!file) continue;
    writeGraphLine(graphs, graph, "}");
    addFailure(failures, closeOutputFile(*file));
    file.reset();
  }
  return failures;
}

// One graph over all criteria per variant of a selected family, then the merged one.
Failures writeAllCriteriaGraphs(const GraphFiles& graphs, const DataSet& data) {
  Failures failures;
  for (std::size_t graph = 0; graph < kGraphCount; ++graph) {
    if (!graphDrawn(graphs.settings, graph)) continue;
    addFailure(failures, writeAllCriteriaGraph(
                             allCriteriaGraphFileName(graph), graphNames(graph).allCriteriaHeader,
                             graphs.settings.dottedEdges, graphs.records[graph], data));
  }
  return failures;
}

}  // namespace

Sink graphsSink(const RunSettings& settings, EdgeRecords& records,
                std::shared_ptr<CriterionGraphTexts> texts) {
  auto graphs = std::make_shared<GraphFiles>(GraphFiles{settings, records, std::move(texts), {}});
  Sink sink;
  sink.beginCriterion = [graphs](std::uint32_t criterion, const DataSet& data) {
    return beginGraphs(*graphs, criterion, data);
  };
  sink.pair = [graphs](const TestedPair& tested, const DataSet& data) {
    takeGraphPair(*graphs, tested, data);
  };
  sink.endCriterion = [graphs](const CriterionAnalysis&, const RunRecord&, const DataSet&) {
    return closeGraphs(*graphs);
  };
  sink.endRun = [graphs](const RunRecord&, const DataSet& data) {
    return writeAllCriteriaGraphs(*graphs, data);
  };
  return sink;
}

}  // namespace brevox
