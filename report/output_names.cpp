#include "report/output_names.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <utility>
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
  for (const auto& [work, name] : workShortNames(data)) {
    if (longest == 0 || name.size() > workShortName(data, longest).size()) {
      second = longest;
      longest = work;
    } else if (second == 0 || name.size() > workShortName(data, second).size()) {
      second = work;
    }
  }
  const auto [criterionPrefix, extension] = longestCriterionFile();
  const std::string reportPrefix = longestReportPrefix();
  for (const auto& [criterion, name] : criterionShortNames(data)) {
    const std::string criterionFile = criterionPrefix + name + extension;
    if (criterionFile.size() > kLongestFileName) {
      return refuse(criterionName(data, criterion), file, criterionFile, "longer than 255 bytes",
                    err);
    }
    if (second == 0) continue;
    // Lengths first: short names may be long, and there may be thousands of criteria.
    const std::size_t reportLength = reportPrefix.size() + name.size() + 2 +
                                     workShortName(data, longest).size() +
                                     workShortName(data, second).size() + 4;
    if (reportLength <= kLongestFileName) continue;
    // A report names the work that comes later in the data first.
    const std::uint32_t workA = std::max(longest, second);
    const std::uint32_t workB = std::min(longest, second);
    const std::string reportFile = reportPrefix + name + "_" + workShortName(data, workA) + "_" +
                                   workShortName(data, workB) + ".csv";
    const ShortName culprit = workShortName(data, longest).size() > name.size()
                                  ? workName(data, longest)
                                  : criterionName(data, criterion);
    return refuse(culprit, file, reportFile, "longer than 255 bytes", err);
  }
  return true;
}

template <typename Record>
bool anyUnderscore(const std::vector<Record>& records) {
  return std::any_of(records.begin(), records.end(), [](const Record& record) {
    return record.shortName.find('_') != std::string::npos;
  });
}

// The part of a report's name after its family's prefix.
std::string joined(const DataSet& data, std::uint32_t criterion, std::uint32_t workA,
                   std::uint32_t workB) {
  return criterionShortName(data, criterion) + "_" + workShortName(data, workA) + "_" +
         workShortName(data, workB);
}

// The report of a pair of works under a criterion, by their numbers: criterion, work A, work B.
struct Report {
  std::uint32_t criterion = 0;
  std::uint32_t workA = 0;
  std::uint32_t workB = 0;
};

bool runsBefore(const Report& left, const Report& right) {
  return std::tie(left.criterion, left.workA, left.workB) <
         std::tie(right.criterion, right.workA, right.workB);
}

// Two reports of one name; `later` is written after `earlier` in the run.
struct Clash {
  Report earlier;
  Report later;
};

// Up to three different witnesses of a part of a name. More are never needed: each witness of
// the other side rules out at most two of them (a report needs two different works).
template <typename Witness>
struct FewWitnesses {
  std::array<Witness, 3> items{};
  std::size_t count = 0;
  void add(const Witness& witness) {
    for (std::size_t i = 0; i < count; ++i) {
      if (items[i] == witness) return;
    }
    if (count < items.size()) items[count++] = witness;
  }
  const Witness* begin() const { return items.data(); }
  const Witness* end() const { return items.data() + count; }
};

// Two works, one of which is the other's name and one more part joined by "_": `longer` is
// `shorter` + "_" + the part, or the part + "_" + `shorter`.
struct JoinedWorks {
  std::uint32_t longer = 0;
  std::uint32_t shorter = 0;
  bool operator==(const JoinedWorks& other) const {
    return longer == other.longer && shorter == other.shorter;
  }
};

// A criterion that joins a shorter criterion and a work with "_" and one more part: `longer` is
// `shorter` + "_" + `work` + "_" + the part.
struct CriterionAndWork {
  std::uint32_t shorter = 0;
  std::uint32_t longer = 0;
  std::uint32_t work = 0;
  bool operator==(const CriterionAndWork& other) const { return work == other.work; }
};

// A work made of one more part and two other works joined by "_": `joined` is the part + "_" +
// `first` + "_" + `second`.
struct ThreeParts {
  std::uint32_t joined = 0;
  std::uint32_t first = 0;
  std::uint32_t second = 0;
  bool operator==(const ThreeParts& other) const { return joined == other.joined; }
};

// The parts of a name on either side of each "_" in it, in order.
template <typename Visit>
void forEachSplit(std::string_view name, Visit visit) {
  for (std::size_t at = name.find('_'); at != std::string_view::npos; at = name.find('_', at + 1)) {
    visit(name.substr(0, at), name.substr(at + 1));
  }
}

using NameIndex = std::unordered_map<std::string_view, std::uint32_t>;

template <typename Witness>
using PartIndex = std::unordered_map<std::string_view, FewWitnesses<Witness>>;

template <typename Record>
NameIndex indexOf(const std::vector<Record>& records) {
  NameIndex index;
  index.reserve(records.size());
  std::uint32_t number = 0;
  for (const Record& record : records) index.emplace(record.shortName, ++number);
  return index;
}

const std::uint32_t* find(const NameIndex& index, std::string_view name) {
  const auto found = index.find(name);
  return found == index.end() ? nullptr : &found->second;
}

template <typename Witness>
const FewWitnesses<Witness>* find(const PartIndex<Witness>& index, std::string_view part) {
  const auto found = index.find(part);
  return found == index.end() ? nullptr : &found->second;
}

// Of the clashes considered, the one whose later report comes first in the run.
struct EarliestClash {
  std::optional<Clash> found;
  void consider(Report one, Report other) {
    if (runsBefore(other, one)) std::swap(one, other);
    if (!found || runsBefore(other, found->later)) found = Clash{one, other};
  }
};

// The short names by their text, and the names that hold another name before or after a "_",
// by the rest of their name.
struct NameParts {
  NameIndex works;
  NameIndex criteria;
  // afterWork[x] holds works w + "_" + x, beforeWork[x] works x + "_" + w.
  PartIndex<JoinedWorks> afterWork;
  PartIndex<JoinedWorks> beforeWork;
  // Criteria c2 = c1 + "_" + x, as the pair (c1, c2) by x.
  std::unordered_map<std::string_view, std::pair<std::uint32_t, std::uint32_t>> afterCriterion;
};

NameParts namePartsOf(const DataSet& data) {
  NameParts parts{indexOf(data.works), indexOf(data.criteria), {}, {}, {}};
  for (const auto& [work, name] : workShortNames(data)) {
    forEachSplit(name, [&, work = work](std::string_view head, std::string_view tail) {
      if (const std::uint32_t* shorter = find(parts.works, head)) {
        parts.afterWork[tail].add({work, *shorter});
      }
      if (const std::uint32_t* shorter = find(parts.works, tail)) {
        parts.beforeWork[head].add({work, *shorter});
      }
    });
  }
  for (const auto& [criterion, name] : criterionShortNames(data)) {
    forEachSplit(name, [&, criterion = criterion](std::string_view head, std::string_view tail) {
      if (const std::uint32_t* shorter = find(parts.criteria, head)) {
        parts.afterCriterion.emplace(tail, std::make_pair(*shorter, criterion));
      }
    });
  }
  return parts;
}

// One criterion c: c_a1_x_b2 is both (c, a1, a1_x) and (c, x_b2, b2).
void findUnderOneCriterion(const NameParts& parts, EarliestClash& clash) {
  const std::uint32_t firstCriterion = 1;
  for (const auto& [part, lefts] : parts.afterWork) {
    const auto* rights = find(parts.beforeWork, part);
    if (rights == nullptr) continue;
    for (const JoinedWorks& left : lefts) {
      for (const JoinedWorks& right : *rights) {
        if (left.shorter != right.longer && left.longer != right.shorter) {
          clash.consider({firstCriterion, left.shorter, right.longer},
                         {firstCriterion, left.longer, right.shorter});
        }
      }
    }
  }
}

// What two criteria c1 and c2 = c1_y need of the works for the rest of the name, y_a2_b2, to
// read as a1_b1.
struct CriterionThenWorks {
  PartIndex<CriterionAndWork> criterionThenWork;   // y = a1_z, by z
  FewWitnesses<CriterionAndWork> criterionIsWork;  // y = a1
  FewWitnesses<ThreeParts> pairWorks;              // works a2_b2
  PartIndex<ThreeParts> partAndPair;               // works z_a2_b2, by z
};

CriterionThenWorks criterionThenWorks(const DataSet& data, const NameParts& parts) {
  CriterionThenWorks found;
  for (const auto& [rest, pair] : parts.afterCriterion) {
    const auto [shorter, longer] = pair;
    if (const std::uint32_t* work = find(parts.works, rest))
      found.criterionIsWork.add({shorter, longer, *work});
    forEachSplit(rest, [&, shorter = shorter, longer = longer](std::string_view head,
                                                               std::string_view tail) {
      if (const std::uint32_t* work = find(parts.works, head)) {
        found.criterionThenWork[tail].add({shorter, longer, *work});
      }
    });
  }
  for (const auto& [work, name] : workShortNames(data)) {
    forEachSplit(name, [&, work = work](std::string_view head, std::string_view tail) {
      const std::uint32_t* first = find(parts.works, head);
      const std::uint32_t* second = find(parts.works, tail);
      if (first != nullptr && second != nullptr && *first != *second) {
        found.pairWorks.add({work, *first, *second});
      }
      if (found.criterionThenWork.count(head) == 0) return;
      forEachSplit(tail, [&](std::string_view middle, std::string_view last) {
        const std::uint32_t* a2 = find(parts.works, middle);
        const std::uint32_t* b2 = find(parts.works, last);
        if (a2 != nullptr && b2 != nullptr && *a2 != *b2) {
          found.partAndPair[head].add({work, *a2, *b2});
        }
      });
    });
  }
  return found;
}

// Two criteria c1 and c2 = c1_y; the rest of the name, y_a2_b2, read as a1_b1 in four ways.
// y = a1: c1_a1_a2_b2 with a1 a work and a2_b2 a work of two works.
// y = a1_z: c1_a1_z_a2_b2 with z_a2_b2 a work of three parts.
void findWorksAfterCriterion(const DataSet& data, const NameParts& parts, EarliestClash& clash) {
  const CriterionThenWorks found = criterionThenWorks(data, parts);
  for (const CriterionAndWork& left : found.criterionIsWork) {
    for (const ThreeParts& right : found.pairWorks) {
      if (left.work != right.joined) {
        clash.consider({left.shorter, left.work, right.joined},
                       {left.longer, right.first, right.second});
      }
    }
  }
  for (const auto& [part, lefts] : found.criterionThenWork) {
    const auto* rights = find(found.partAndPair, part);
    if (rights == nullptr) continue;
    for (const CriterionAndWork& left : lefts) {
      for (const ThreeParts& right : *rights) {
        if (left.work != right.joined) {
          clash.consider({left.shorter, left.work, right.joined},
                         {left.longer, right.first, right.second});
        }
      }
    }
  }
}

// a1 = y_rest, with c2 = c1_y: c1_y_rest_b1 against c2_a2_b2.
// rest = a2: c1_y_a2_b with any third work b.
// rest = a2_t, b2 = t_b1: c1_y_a2_t_b1.
// Returns the works y_z, by z, for the third way (rest = z).
PartIndex<JoinedWorks> findWorkHoldingCriterion(const DataSet& data, const NameParts& parts,
                                                EarliestClash& clash) {
  PartIndex<JoinedWorks> afterCriterionPart;
  for (const auto& [work, name] : workShortNames(data)) {
    forEachSplit(name, [&, work = work](std::string_view head, std::string_view tail) {
      const auto criterionPair = parts.afterCriterion.find(head);
      if (criterionPair == parts.afterCriterion.end()) return;
      const auto [c1, c2] = criterionPair->second;
      afterCriterionPart[tail].add({work, 0});
      if (const std::uint32_t* a2 = find(parts.works, tail)) {
        for (const std::uint32_t b : workNumbers(data)) {
          if (b != work && b != *a2) {
            clash.consider({c1, work, b}, {c2, *a2, b});
            break;
          }
        }
      }
      forEachSplit(tail, [&, c1 = c1, c2 = c2](std::string_view middle, std::string_view last) {
        const std::uint32_t* a2 = find(parts.works, middle);
        const auto* rights = a2 == nullptr ? nullptr : find(parts.beforeWork, last);
        if (rights == nullptr) return;
        for (const JoinedWorks& right : *rights) {
          if (right.shorter != work && right.longer != *a2) {
            clash.consider({c1, work, right.shorter}, {c2, *a2, right.longer});
          }
        }
      });
    });
  }
  return afterCriterionPart;
}

// rest = z, a2 = z_t, b1 = t_b2: c1_y_z_t_b2, for the works y_z of `afterCriterionPart`.
void findWorkSplitAcross(const DataSet& data, const NameParts& parts,
                         const PartIndex<JoinedWorks>& afterCriterionPart, EarliestClash& clash) {
  for (const auto& [a2, name] : workShortNames(data)) {
    forEachSplit(name, [&, a2 = a2](std::string_view head, std::string_view tail) {
      const auto* lefts = find(afterCriterionPart, head);
      const auto* rights = lefts == nullptr ? nullptr : find(parts.beforeWork, tail);
      if (rights == nullptr) return;
      for (const JoinedWorks& left : *lefts) {
        // The criteria of a1 = y_z: any pair c1, c2 = c1_y will do.
        const std::string_view y(workShortName(data, left.longer).data(),
                                 workShortName(data, left.longer).size() - head.size() - 1);
        const auto [c1, c2] = parts.afterCriterion.at(y);
        for (const JoinedWorks& right : *rights) {
          if (left.longer != right.longer && a2 != right.shorter) {
            clash.consider({c1, left.longer, right.longer}, {c2, a2, right.shorter});
          }
        }
      }
    });
  }
}

// Finds two reports of one name, the pair of them whose later report comes first in the run
// among those found. A report name is a criterion, work A and work B joined by "_"; two reports
// share one when a "_" inside a name stands where the other report joins its names. Each way the
// names of the two reports can overlap is looked for by splitting every name at each of its "_"
// and finding the parts among the names or parts of others: time and memory grow with the
// names, not with the reports. Splits into three parts (the name of a pair inside another name)
// are looked at only where the first part already fits.
std::optional<Clash> findClash(const DataSet& data) {
  const NameParts parts = namePartsOf(data);
  EarliestClash clash;
  findUnderOneCriterion(parts, clash);
  findWorksAfterCriterion(data, parts, clash);
  const PartIndex<JoinedWorks> afterCriterionPart = findWorkHoldingCriterion(data, parts, clash);
  if (!afterCriterionPart.empty()) findWorkSplitAcross(data, parts, afterCriterionPart, clash);
  return clash.found;
}

bool checkReportsDistinct(const DataSet& data, const DataFile& file, std::ostream& err) {
  // Without "_" inside the names, a report's name splits back into its criterion and works in one
  // way only.
  if (data.criteria.empty() || (!anyUnderscore(data.works) && !anyUnderscore(data.criteria))) {
    return true;
  }
  const std::optional<Clash> clash = findClash(data);
  if (!clash) return true;
  // Name a short name of the later pair that holds the "_" that makes the two alike.
  const Report& later = clash->later;
  auto holdsUnderscore = [](const std::string& name) {
    return name.find('_') != std::string::npos;
  };
  const ShortName culprit =
      holdsUnderscore(workShortName(data, later.workA))   ? workName(data, later.workA)
      : holdsUnderscore(workShortName(data, later.workB)) ? workName(data, later.workB)
                                                          : criterionName(data, later.criterion);
  const std::string fileName =
      longestReportPrefix() + joined(data, later.criterion, later.workA, later.workB) + ".csv";
  return refuse(culprit, file, fileName, "the same as that of another pair of works", err);
}

}  // namespace

bool checkOutputNames(const DataSet& data, const std::string& path, std::ostream& err,
                      const std::string& sheetName) {
  const DataFile file{path, sheetName};
  return checkLengths(data, file, err) && checkReportsDistinct(data, file, err);
}

}  // namespace brevox
