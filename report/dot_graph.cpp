#include "report/dot_graph.h"

#include <cctype>

#include "io/number_text.h"
#include "io/output_file.h"
#include "report/page_text.h"

namespace brevox {

namespace {

// Built empty during static initialisation; only the full run adds to them.
EdgeRecords edgeRecordsOfTheProcess;

// Words that Graphviz reserves whatever their case; bare, they would be read as keywords.
bool isDotKeyword(const std::string& name) {
  static const char* const kKeywords[] = {"node", "edge", "graph", "digraph", "subgraph", "strict"};
  for (const char* keyword : kKeywords) {
    const std::string word = keyword;
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

EdgeRecords& processEdgeRecords() { return edgeRecordsOfTheProcess; }

std::string dotId(const std::string& name) {
  bool valid = !name.empty() && !(name[0] >= '0' && name[0] <= '9') && !isDotKeyword(name);
  for (std::size_t i = 0; i < name.size() && valid; ++i) valid = isIdentifierCharacter(name[i]);
  if (valid) return name;
  return "\"" + escapedForQuotes(name) + "\"";
}

std::string makeCriterionEdge(const PairComparison& pair, bool valid, bool dottedEdges,
                              EdgeRecordMap& records, const DataSet& data) {
  const double proportionA = static_cast<double>(pair.observedA) / static_cast<double>(pair.totalA);
  const double proportionB = static_cast<double>(pair.observedB) / static_cast<double>(pair.totalB);
  const double ordering = static_cast<double>(direction(data, pair.criterion));
  // Arrows follow the criterion's ordering: with +1 they point to the larger proportion.
  const bool reversed = (proportionA - proportionB) * ordering > 0;
  const std::uint32_t source = reversed ? pair.workB : pair.workA;
  const std::uint32_t target = reversed ? pair.workA : pair.workB;
  records[source][target][pair.criterion] = valid;
  if (!valid && !dottedEdges) return "";
  return dotId(workShortName(data, source)) + " -> " + dotId(workShortName(data, target)) +
         (valid ? ";" : " [style=dotted];");
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

bool writeAllCriteriaGraph(const std::string& fileName, const std::string& header, bool dottedEdges,
                           const EdgeRecordMap& records, const DataSet& data, std::ostream& err) {
  return writeFile(fileName, err, [&](std::ostream& out) {
    writeAllCriteriaGraph(out, header, dottedEdges, records, data);
  });
}

}  // namespace brevox
