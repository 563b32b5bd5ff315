#include "report/output_names.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "data/csv_reader.h"
#include "data/data_layout.h"
#include "report/variants.h"

namespace brevox {

namespace {

constexpr std::size_t kLongestFileName = 255;

/// A short name of the data and where it came from.
struct ShortName {
  const std::string* text = nullptr;
  const char* kind = "";
  std::uint32_t number = 0;
  std::uint64_t line = 0;
};

ShortName workName(const DataSet& data, std::uint32_t work) {
  // The works follow the criteria line and the directions line.
  return {&data.workShortNames.at(work), "work", work, std::uint64_t{work} + 2};
}

ShortName criterionName(const DataSet& data, std::uint32_t criterion) {
  return {&data.criterionShortNames.at(criterion), "criterium", criterion, 1};
}

/// The data file, and the sheet when it is a workbook: its cells are named in place of lines.
struct DataFile {
  const std::string& path;
  const std::string& sheetName;
};

bool refuse(const ShortName& name, const DataFile& file, const std::string& fileName,
            const std::string& fault, std::ostream& err) {
  err << "Short name " << quotedForMessage(*name.text) << " of " << name.kind << " n. "
      << name.number << " in ";
  if (file.sheetName.empty()) {
    err << "line " << name.line;
  } else {
    // A work's short name stands in column A, a criterion's above its counts.
    const std::uint64_t column = name.line == 1 ? std::uint64_t{name.number} * 2 + 1 : 1;
    err << gridPlace({file.path, file.sheetName}, name.line, column);
  }
  err << " of " << file.path << " makes the output file name " << quotedForMessage(fileName) << " "
      << fault << "\n";
  return false;
}

// The longest prefix among the files named after a criterion alone, with its extension.
std::pair<std::string, std::string> longestCriterionFile() {
  std::pair<std::string, std::string> longest{kExpectedProbabilityTable.prefix, ".csv"};
  auto consider = [&](const std::string& prefix, const char* extension) {
    if (prefix.size() + std::char_traits<char>::length(extension) >
        longest.first.size() + longest.second.size()) {
      longest = {prefix, extension};
    }
  };
  for (const VariantDescriptor& variant : kVariants) {
    for (std::size_t t = 0; t < variant.tableCount; ++t) consider(variant.tables[t].prefix, ".csv");
  }
  for (std::size_t graph = 0; graph < kGraphCount; ++graph) {
    consider(std::string("graph_") + graphNames(graph).tag + "_", ".gv");
  }
  return longest;
}

std::string longestReportPrefix() {
  std::string longest;
  for (const FamilyDescriptor& family : kFamilies) {
    if (std::char_traits<char>::length(family.reportPrefix) > longest.size()) {
      longest = family.reportPrefix;
    }
  }
  return longest;
}

bool checkLengths(const DataSet& data, const DataFile& file, std::ostream& err) {
  // The longest report names join the two longest short names of works.
  std::uint32_t longest = 0;
  std::uint32_t second = 0;
  for (const auto& [work, name] : data.workShortNames) {
    if (longest == 0 || name.size() > data.workShortNames.at(longest).size()) {
      second = longest;
      longest = work;
    } else if (second == 0 || name.size() > data.workShortNames.at(second).size()) {
      second = work;
    }
  }
  const auto [criterionPrefix, extension] = longestCriterionFile();
  const std::string reportPrefix = longestReportPrefix();
  for (const auto& [criterion, name] : data.criterionShortNames) {
    const std::string criterionFile = criterionPrefix + name + extension;
    if (criterionFile.size() > kLongestFileName) {
      return refuse(criterionName(data, criterion), file, criterionFile, "longer than 255 bytes",
                    err);
    }
    if (second == 0) continue;
    // Lengths first: short names may be long, and there may be thousands of criteria.
    const std::size_t reportLength = reportPrefix.size() + name.size() + 2 +
                                     data.workShortNames.at(longest).size() +
                                     data.workShortNames.at(second).size() + 4;
    if (reportLength <= kLongestFileName) continue;
    // A report names the work that comes later in the data first.
    const std::uint32_t workA = std::max(longest, second);
    const std::uint32_t workB = std::min(longest, second);
    const std::string reportFile = reportPrefix + name + "_" + data.workShortNames.at(workA) + "_" +
                                   data.workShortNames.at(workB) + ".csv";
    const ShortName culprit = data.workShortNames.at(longest).size() > name.size()
                                  ? workName(data, longest)
                                  : criterionName(data, criterion);
    return refuse(culprit, file, reportFile, "longer than 255 bytes", err);
  }
  return true;
}

bool anyUnderscore(const std::map<std::uint32_t, std::string>& names) {
  return std::any_of(names.begin(), names.end(),
                     [](const auto& entry) { return entry.second.find('_') != std::string::npos; });
}

// The part of a report's name after its family's prefix.
std::string joined(const DataSet& data, std::uint32_t criterion, std::uint32_t workA,
                   std::uint32_t workB) {
  return data.criterionShortNames.at(criterion) + "_" + data.workShortNames.at(workA) + "_" +
         data.workShortNames.at(workB);
}

bool checkReportsDistinct(const DataSet& data, const DataFile& file, std::ostream& err) {
  // Without "_" inside the names, a report's name splits back into its criterion and works in one
  // way only.
  if (!anyUnderscore(data.workShortNames) && !anyUnderscore(data.criterionShortNames)) {
    return true;
  }
  // Hashes first, eight bytes a report, then the names behind equal hashes.
  auto forEachReport = [&](const std::function<void(std::uint32_t, std::uint32_t, std::uint32_t,
                                                    std::uint64_t)>& visit) {
    for (const auto& criterion : data.criterionShortNames) {
      for (const auto& workA : data.workShortNames) {
        for (const auto& workB : data.workShortNames) {
          if (workA.first == workB.first) continue;
          const std::string text = joined(data, criterion.first, workA.first, workB.first);
          visit(criterion.first, workA.first, workB.first, std::hash<std::string>{}(text));
        }
      }
    }
  };
  std::vector<std::uint64_t> hashes;
  forEachReport([&](std::uint32_t, std::uint32_t, std::uint32_t, std::uint64_t hash) {
    hashes.push_back(hash);
  });
  std::sort(hashes.begin(), hashes.end());
  std::vector<std::uint64_t> repeated;
  for (std::size_t i = 1; i < hashes.size(); ++i) {
    if (hashes[i] == hashes[i - 1] && (repeated.empty() || repeated.back() != hashes[i])) {
      repeated.push_back(hashes[i]);
    }
  }
  if (repeated.empty()) return true;
  std::map<std::string, std::uint32_t> seen;  // the joined names behind repeated hashes
  bool distinct = true;
  forEachReport([&](std::uint32_t criterion, std::uint32_t workA, std::uint32_t workB,
                    std::uint64_t hash) {
    if (!distinct || !std::binary_search(repeated.begin(), repeated.end(), hash)) return;
    const std::string text = joined(data, criterion, workA, workB);
    const auto [entry, added] = seen.emplace(text, workA);
    if (added) return;
    // Name a short name of the second pair that holds the "_" that makes the two alike.
    auto holdsUnderscore = [](const std::string& name) {
      return name.find('_') != std::string::npos;
    };
    const ShortName culprit = holdsUnderscore(data.workShortNames.at(workA)) ? workName(data, workA)
                              : holdsUnderscore(data.workShortNames.at(workB))
                                  ? workName(data, workB)
                                  : criterionName(data, criterion);
    const std::string fileName = longestReportPrefix() + text + ".csv";
    distinct = refuse(culprit, file, fileName, "the same as that of another pair of works", err);
  });
  return distinct;
}

}  // namespace

bool checkOutputNames(const DataSet& data, const std::string& path, std::ostream& err,
                      const std::string& sheetName) {
  const DataFile file{path, sheetName};
  return checkLengths(data, file, err) && checkReportsDistinct(data, file, err);
}

}  // namespace brevox
