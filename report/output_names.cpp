#include "report/output_names.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "data/csv_reader.h"

namespace brevox {

namespace {

constexpr std::size_t kLongestFileName = 255;

/// An output file name: the prefix, the criterion's short name, for a detailed report also the
/// short names of the two works (each after "_"), and the suffix.
struct FileNamePattern {
  const char* prefix;
  bool pairOfWorks;
  const char* suffix;
};

/// The detailed reports, and the longest names of the summary matrices and the per-criterion
/// graphs. The other files of a run have fixed names.
constexpr FileNamePattern kFileNamePatterns[] = {
    {"binD_", true, ".csv"},
    {"chiSq_", true, ".csv"},
    {"fish_", true, ".csv"},
    {"perm_", true, ".csv"},
    {"T_binD_Midp_pVal_", false, ".csv"},
    {"graph_chisqN1_", false, ".gv"},
};

/// A short name of the data and where it came from.
struct ShortName {
  const std::string* text = nullptr;
  const char* kind = "";
  std::uint32_t number = 0;
  std::uint64_t line = 0;
};

}  // namespace

bool checkOutputNameLengths(const DataSet& data, const std::string& path, std::ostream& err) {
  // The longest report names join the two longest short names of works.
  ShortName longest;
  ShortName second;
  for (const auto& [work, name] : data.workShortNames) {
    const ShortName entry{&name, "work", work, std::uint64_t{work} + 2};
    if (longest.text == nullptr || name.size() > longest.text->size()) {
      second = longest;
      longest = entry;
    } else if (second.text == nullptr || name.size() > second.text->size()) {
      second = entry;
    }
  }
  // Lengths only: short names may be long, and there may be thousands of criteria.
  std::size_t longestLength = 0;
  const FileNamePattern* longestPattern = nullptr;
  ShortName criterion;
  for (const auto& [number, name] : data.criterionShortNames) {
    for (const FileNamePattern& pattern : kFileNamePatterns) {
      if (pattern.pairOfWorks && second.text == nullptr) continue;
      std::size_t length = std::strlen(pattern.prefix) + name.size() + std::strlen(pattern.suffix);
      if (pattern.pairOfWorks) length += 1 + longest.text->size() + 1 + second.text->size();
      if (length > longestLength) {
        longestLength = length;
        longestPattern = &pattern;
        criterion = ShortName{&name, "criterium", number, 1};
      }
    }
  }
  if (longestLength <= kLongestFileName) return true;
  std::string fileName = longestPattern->prefix + *criterion.text;
  const ShortName* culprit = &criterion;
  if (longestPattern->pairOfWorks) {
    // A report names the work that comes later in the data first.
    const bool longestFirst = longest.number > second.number;
    fileName += "_" + *(longestFirst ? longest : second).text + "_" +
                *(longestFirst ? second : longest).text;
    if (longest.text->size() > criterion.text->size()) culprit = &longest;
  }
  fileName += longestPattern->suffix;
  err << "Short name " << quotedForMessage(*culprit->text) << " of " << culprit->kind << " n. "
      << culprit->number << " in line " << culprit->line << " of " << path
      << " makes the output file name " << quotedForMessage(fileName) << " longer than "
      << kLongestFileName << " bytes\n";
  return false;
}

}  // namespace brevox
