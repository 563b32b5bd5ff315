#include "report/output_names.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "data/grid_place.h"

namespace brevox {

std::string inputDataFileName() { return "T_input_data.csv"; }

std::string summaryTableFileName(const SummaryTable& table, const std::string& criterionShortName) {
  return table.prefix + criterionShortName + ".csv";
}

std::string criterionGraphFileName(std::size_t graph, const std::string& criterionShortName) {
  return std::string("graph_") + graphNames(graph).tag + "_" + criterionShortName + ".gv";
}

std::string allCriteriaGraphFileName(std::size_t graph) {
  return graphNames(graph).allCriteriaFile;
}

namespace {

// A report's name after its family's prefix.
std::string reportNameAfterPrefix(std::uint32_t criterion, std::uint32_t workA, std::uint32_t workB,
                                  const DataSet& data) {
  return criterionShortName(data, criterion) + "_" + workShortName(data, workA) + "_" +
         workShortName(data, workB) + ".csv";
}

}  // namespace

std::string pairReportFileName(Family family, std::uint32_t criterion, std::uint32_t workA,
                               std::uint32_t workB, const DataSet& data) {
  return descriptor(family).reportPrefix + reportNameAfterPrefix(criterion, workA, workB, data);
}

std::string singleTestReportFileName(Family family) { return descriptor(family).singlePairReport; }

std::string resultsTableFileName(ResultsTable table) {
  switch (table) {
    case ResultsTable::pairs:
      return "T_all_results.csv";
    case ResultsTable::criteria:
      return "T_criteria_results.csv";
    case ResultsTable::works:
      break;
  }
  return "T_work_results.csv";
}

std::string orderWorksFileName() { return "T_order_works.csv"; }
std::string orderCriteriaFileName() { return "T_order_criteria.csv"; }
std::string orderPrecedenceFileName() { return "T_order_precedence.csv"; }
std::string orderFitFileName() { return "T_order_fit.csv"; }
std::string orderGraphFileName() { return "graphOrderAllCriteria.gv"; }

std::string pageFileName() { return "brevox_report.html"; }

std::string manifestFileName() { return ".brevox-manifest"; }

namespace {

constexpr std::size_t kLongestFileName = 255;

// A file the run writes, with the numbers of the short names that make its name (0: none).
struct NamedFile {
  std::string name;
  std::uint32_t criterion = 0;
  std::uint32_t workA = 0;
  std::uint32_t workB = 0;
  bool report = false;
};

bool graphWritten(const OutputChoice& choice, std::size_t graph) {
  return graph == kMergedGraph ? choice.mergedGraph : choice.families[kVariants[graph].family];
}

// A criterion's summary tables and graphs, in the order in which the run opens them.
std::vector<std::string> criterionFileNames(const OutputChoice& choice,
                                            const std::string& criterion) {
  std::vector<std::string> names = {summaryTableFileName(kExpectedProbabilityTable, criterion)};
  std::vector<std::string> graphs;
  for (const Family family : kFileOrder) {
    if (!choice.families[family]) continue;
    for (const VariantDescriptor& variant : kVariants) {
      if (variant.family != family) continue;
      for (std::size_t t = 0; t < variant.tableCount; ++t) {
        names.push_back(summaryTableFileName(variant.tables[t], criterion));
      }
      graphs.push_back(criterionGraphFileName(index(variant.variant), criterion));
    }
  }
  if (choice.mergedGraph) graphs.push_back(criterionGraphFileName(kMergedGraph, criterion));
  names.insert(names.end(), graphs.begin(), graphs.end());
  return names;
}

// Each pair's reports under a criterion, in the run's order.
template <typename Visit>
void forEachReport(const OutputChoice& choice, const DataSet& data, std::uint32_t criterion,
                   Visit& visit) {
  forEachPairReport(choice, data, criterion, [&](const PairReport& report) {
    visit(NamedFile{pairReportFileName(report.family, criterion, report.workA, report.workB, data),
                    criterion, report.workA, report.workB, true});
  });
}

// Every file the run writes, in the order in which it writes them.
template <typename Visit>
void forEachFile(const OutputChoice& choice, const DataSet& data, Visit visit) {
  if (choice.singleTest) {
    for (const FamilyDescriptor& family : kFamilies) {
      if (!choice.families[family.family]) continue;
      visit(NamedFile{singleTestReportFileName(family.family)});
      break;
    }
    return;
  }
  if (choice.inputData) visit(NamedFile{inputDataFileName()});
  if (choice.resultsTables) {
    for (const ResultsTable table :
         {ResultsTable::pairs, ResultsTable::criteria, ResultsTable::works}) {
      visit(NamedFile{resultsTableFileName(table)});
    }
  }
  for (const auto& [criterion, shortName] : criterionShortNames(data)) {
    for (std::string& name : criterionFileNames(choice, shortName)) {
      visit(NamedFile{std::move(name), criterion});
    }
    if (choice.reports) forEachReport(choice, data, criterion, visit);
  }
  for (std::size_t graph = 0; graph < kGraphCount; ++graph) {
    if (graphWritten(choice, graph)) visit(NamedFile{allCriteriaGraphFileName(graph)});
  }
  if (choice.orderFiles) {
    for (std::string name : {orderWorksFileName(), orderCriteriaFileName(),
                             orderPrecedenceFileName(), orderFitFileName(), orderGraphFileName()}) {
      visit(NamedFile{std::move(name)});
    }
  }
  if (choice.page) visit(NamedFile{pageFileName()});
}

/// A short name of the data and where it came from.
struct ShortName {
  const std::string* text = nullptr;
  const char* kind = "";
  std::uint32_t number = 0;
  std::uint64_t line = 0;
};

ShortName workName(const DataSet& data, std::uint32_t work) {
  // The works follow the criteria line and the directions line.
  return {&workShortName(data, work), "work", work, std::uint64_t{work} + 2};
}

ShortName criterionName(const DataSet& data, std::uint32_t criterion) {
  return {&criterionShortName(data, criterion), "criterium", criterion, 1};
}

/// The data file, and the sheet when it is a workbook: its cells are named in place of lines.
struct DataFile {
  const std::string& path;
  const std::string& sheetName;
};

Failure refusal(const ShortName& name, const DataFile& file, const std::string& fileName,
                const std::string& fault) {
  std::string message = "Short name " + quotedForMessage(*name.text, kShownBytes) + " of " +
                        name.kind + " n. " + std::to_string(name.number) + " in ";
  if (file.sheetName.empty()) {
    message += "line " + std::to_string(name.line);
  } else {
    // A work's short name stands in column A, a criterion's above its counts.
    const std::uint64_t column = name.line == 1 ? std::uint64_t{name.number} * 2 + 1 : 1;
    message += gridPlace({file.path, file.sheetName}, name.line, column);
  }
  return {message + " of " + pathForMessage(file.path) + " makes the output file name " +
              quotedForMessage(fileName, kShownBytes) + " " + fault,
          ""};
}

// The longest prefix of the reports the run writes; empty when it writes none.
std::string longestReportPrefix(const OutputChoice& choice) {
  std::string longest;
  if (!choice.reports) return longest;
  for (const FamilyDescriptor& family : kFamilies) {
    if (choice.families[family.family] &&
        std::char_traits<char>::length(family.reportPrefix) > longest.size()) {
      longest = family.reportPrefix;
    }
  }
  return longest;
}

// The longest report of a criterion joins the two longest short names of works with cases; the
// later work in the data comes first. Works are 0 where fewer than two have cases.
std::pair<std::uint32_t, std::uint32_t> longestPair(const DataSet& data, std::uint32_t criterion) {
  std::uint32_t longest = 0;
  std::uint32_t second = 0;
  for (const auto& [work, name] : workShortNames(data)) {
    if (countPair(data, work, criterion).total == 0) continue;
    if (longest == 0 || name.size() > workShortName(data, longest).size()) {
      second = longest;
      longest = work;
    } else if (second == 0 || name.size() > workShortName(data, second).size()) {
      second = work;
    }
  }
  return {longest, second};
}

Outcome checkLengths(const OutputChoice& choice, const DataSet& data, const DataFile& file) {
  if (choice.singleTest) return std::nullopt;
  const std::string reportPrefix = longestReportPrefix(choice);
  for (const auto& [criterion, name] : criterionShortNames(data)) {
    std::string criterionFile;
    for (std::string& fileName : criterionFileNames(choice, name)) {
      if (fileName.size() > criterionFile.size()) criterionFile = std::move(fileName);
    }
    if (criterionFile.size() > kLongestFileName) {
      return refusal(criterionName(data, criterion), file, criterionFile, "longer than 255 bytes");
    }
    if (reportPrefix.empty()) continue;
    const auto [longest, second] = longestPair(data, criterion);
    if (second == 0) continue;
    // Lengths first: short names may be long, and there may be thousands of criteria.
    const std::size_t reportLength = reportPrefix.size() + name.size() + 2 +
                                     workShortName(data, longest).size() +
                                     workShortName(data, second).size() + 4;
    if (reportLength <= kLongestFileName) continue;
    const std::string reportFile =
        reportPrefix + reportNameAfterPrefix(criterion, std::max(longest, second),
                                             std::min(longest, second), data);
    const ShortName culprit = workShortName(data, longest).size() > name.size()
                                  ? workName(data, longest)
                                  : criterionName(data, criterion);
    return refusal(culprit, file, reportFile, "longer than 255 bytes");
  }
  return std::nullopt;
}

// The first file whose name an earlier file of the run already has, with that earlier file.
// Names are told apart by their hashes first, so that a run of millions of reports needs a few
// bytes for each; only the names whose hashes meet twice are compared as text.
std::optional<std::pair<NamedFile, NamedFile>> firstClash(const OutputChoice& choice,
                                                          const DataSet& data) {
  const std::hash<std::string_view> hash;
  std::vector<std::size_t> hashes;
  forEachFile(choice, data, [&](const NamedFile& file) { hashes.push_back(hash(file.name)); });
  std::sort(hashes.begin(), hashes.end());
  std::unordered_set<std::size_t> twice;
  for (std::size_t k = 1; k < hashes.size(); ++k) {
    if (hashes[k] == hashes[k - 1]) twice.insert(hashes[k]);
  }
  if (twice.empty()) return std::nullopt;
  std::map<std::string, NamedFile> met;
  std::optional<std::pair<NamedFile, NamedFile>> clash;
  forEachFile(choice, data, [&](const NamedFile& file) {
    if (clash || twice.count(hash(file.name)) == 0) return;
    const auto [earlier, first] = met.emplace(file.name, file);
    if (!first) clash.emplace(earlier->second, file);
  });
  return clash;
}

Outcome checkDistinct(const OutputChoice& choice, const DataSet& data, const DataFile& file) {
  const auto clash = firstClash(choice, data);
  if (!clash) return std::nullopt;
  const auto& [earlier, later] = *clash;
  auto holdsUnderscore = [&](std::uint32_t work) {
    return work != 0 && workShortName(data, work).find('_') != std::string::npos;
  };
  // Name a short name of the later file that holds the "_" that makes the two alike. Fixed names
  // differ from each other, so one of the two is made of short names.
  const NamedFile& named = later.criterion != 0 ? later : earlier;
  const ShortName culprit = holdsUnderscore(named.workA)   ? workName(data, named.workA)
                            : holdsUnderscore(named.workB) ? workName(data, named.workB)
                                                           : criterionName(data, named.criterion);
  if (!later.report) {
    return refusal(culprit, file, later.name, "the same as that of another output file");
  }
  // The file named is the pair's report of the longest prefix, whichever report met the other.
  const std::string reportFile =
      longestReportPrefix(choice) +
      reportNameAfterPrefix(later.criterion, later.workA, later.workB, data);
  return refusal(culprit, file, reportFile, "the same as that of another pair of works");
}

}  // namespace

void forEachPairReport(const OutputChoice& choice, const DataSet& data, std::uint32_t criterion,
                       const std::function<void(const PairReport&)>& visit) {
  for (const std::uint32_t workA : workNumbers(data)) {
    if (countPair(data, workA, criterion).total == 0) continue;
    for (const std::uint32_t workB : workNumbers(data)) {
      if (workB == workA || countPair(data, workB, criterion).total == 0) continue;
      for (const FamilyDescriptor& family : kFamilies) {
        if (!choice.families[family.family] || !(family.bothOrders || workB < workA)) continue;
        visit(PairReport{family.family, criterion, workA, workB});
      }
    }
  }
}

void forEachOutputFileName(const OutputChoice& choice, const DataSet& data,
                           const std::function<void(const std::string&)>& visit) {
  forEachFile(choice, data, [&visit](const NamedFile& file) { visit(file.name); });
}

Outcome checkOutputNames(const OutputChoice& choice, const DataSet& data, const std::string& path,
                         const std::string& sheetName) {
  const DataFile file{path, sheetName};
  if (Outcome tooLong = checkLengths(choice, data, file)) return tooLong;
  return checkDistinct(choice, data, file);
}

}  // namespace brevox
