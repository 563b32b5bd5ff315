#include "report/dot_graph.h"

#include <array>
#include <cctype>
#include <fstream>

#include "io/number_format.h"
#include "io/output_file.h"

namespace brevox {

namespace {

constexpr std::size_t kTagCount = 8;

// Built empty during static initialisation; only the full run adds to them.
std::array<EdgeRecordMap, kTagCount> processEdgeRecordMaps;

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

const char* const kT1 = "graph[";
const char* const kT2 = "fontsize = 8; ";
const char* const kT3 = "fontname = \"sans-serif\"";
const char* const kT4 = "label = \"\\n";
const char* const kT5 = "rankdir = \"LR\";";
const char* const kT6 = "\", decorate = true, fontsize = 8, fontname = \"sans-serif\"];";
const char* const kT7 = " [style = solid, label = \"";
const char* const kT8 = " [style = bold, label = \"All";
const char* const kT9 = " [style = bold, label = \"";
const char* const kT10 = " [style = dotted, label = \"All";
const char* const kT11 = " [style = dotted, label = \"";

}  // namespace

EdgeRecordMap& edgeRecordMap(GraphTag tag) {
  return processEdgeRecordMaps[static_cast<std::size_t>(tag)];
}

void resetEdgeRecordMaps() {
  for (EdgeRecordMap& records : processEdgeRecordMaps) records.clear();
}

const char* graphTagText(GraphTag tag) {
  switch (tag) {
    case GraphTag::binD:
      return "binD";
    case GraphTag::fishDt:
      return "fishDt";
    case GraphTag::fishMp:
      return "fishMp";
    case GraphTag::chisqP:
      return "chisqP";
    case GraphTag::chisqY:
      return "chisqY";
    case GraphTag::chisqN1:
      return "chisqN1";
    case GraphTag::perm:
      return "perm";
    case GraphTag::merged:
      return "merged";
  }
  return "";
}

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

bool mergedEdge(const MergeSlot& main, const MergeSlot& subordinate, bool& valid) {
  // The main test decides wherever it rests on enough data; the subordinate one only fills in
  // where it does not.
  if (main.significant && (main.valid || !subordinate.valid)) {
    valid = main.valid;
    return true;
  }
  if (subordinate.significant && !main.valid) {
    valid = subordinate.valid;
    return true;
  }
  return false;
}

void writeAllCriteriaGraph(std::ostream& out, const std::string& header, bool dottedEdges,
                           const EdgeRecordMap& records, const DataSet& data) {
  const std::size_t criterionCount = data.criterionShortNames.size();
  out << header << " {" << kLineEnd;
  out << kT1 << kLineEnd << kT2 << kLineEnd << kT3 << kLineEnd;
  // The label opened here runs on over the legend line below.
  out << kT4 << "All: all " << criterionCount << " criteria;" << kLineEnd;
  for (const auto& [number, shortName] : data.criterionShortNames) {
    out << number << ": " << escapedForQuotes(shortName) << ";";
    if (number % 2 == 0) out << "\\n";
  }
  out << "\";" << kLineEnd;
  out << "ranksep = 0.1;" << kLineEnd << kT5 << kLineEnd << "]" << kLineEnd;
  for (const auto& [source, targets] : records) {
    for (const auto& [target, criteria] : targets) {
      std::string validList;
      std::string otherList;
      std::size_t validCount = 0;
      std::size_t otherCount = 0;
      for (const auto& [criterion, valid] : criteria) {
        if (valid) {
          validList += std::to_string(criterion);
          ++validCount;
        } else {
          otherList += std::to_string(criterion);
          ++otherCount;
        }
      }
      const std::string edge =
          dotId(workShortName(data, source)) + " -> " + dotId(workShortName(data, target));
      if (validCount > 0) {
        out << edge;
        // A single criterion is named even when it is the only one of the data set.
        if (validCount == 1) {
          out << kT7 << validList;
        } else if (validCount == criterionCount) {
          out << kT8;
        } else {
          out << kT9 << validList;
        }
        out << kT6 << kLineEnd;
      }
      if (otherCount > 0 && dottedEdges) {
        out << edge;
        if (otherCount == criterionCount) {
          out << kT10;
        } else {
          out << kT11 << otherList;
        }
        out << kT6 << kLineEnd;
      }
    }
  }
  out << "}" << kLineEnd;
}

bool writeAllCriteriaGraph(const std::string& fileName, const std::string& header, bool dottedEdges,
                           const EdgeRecordMap& records, const DataSet& data, std::ostream& err) {
  std::ofstream file;
  if (!openOutputFile(file, fileName, err)) return false;
  writeAllCriteriaGraph(file, header, dottedEdges, records, data);
  return closeOutputFile(file, fileName, err);
}

}  // namespace brevox
