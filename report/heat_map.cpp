#include "report/heat_map.h"

#include <cmath>
#include <optional>
#include <string>

#include "report/page_text.h"

namespace brevox {

namespace {

// With more works than this a cell's hover text is its p-value alone: naming the pair in each of
// the thousands of cells would make the page several times larger.
constexpr std::size_t kNamedCellsUpTo = 30;

// With this many works or fewer a cell also prints its p-value, so that a printed page holds it.
constexpr std::size_t kNumberedCellsUpTo = 12;

// Visits every outcome with a p-value that a map of the page shows.
template <typename Visit>
void forEachMappedOutcome(const RunSettings& settings, const std::vector<PageCriterion>& criteria,
                          Visit visit) {
  for (const PageCriterion& criterion : criteria) {
    for (const PairOutcomes& record : criterion.pairs) {
      for (const VariantDescriptor& variant : kVariants) {
        const std::optional<VariantOutcome>& outcome = record.outcomes[index(variant.variant)];
        if (shown(settings, variant) && outcome && !outcome->undefined) visit(*outcome);
      }
    }
  }
}

// The start of a cell's hover text on a map that names the pairs: "A vs B: ".
void writePairNames(Markup& page, const DataSet& data, const PairOutcomes& record) {
  page << NameText{workShortName(data, record.pair.workA)} << " vs "
       << NameText{workShortName(data, record.pair.workB)} << ": ";
}

// A cell without a p-value: its class, and its hover text.
void writeBlankCell(Markup& page, const DataSet& data, const PairOutcomes& record, bool named,
                    const char* cellClass, const char* title) {
  page << "<td class=" << cellClass << " title=\"";
  if (named) writePairNames(page, data, record);
  page << title << "\">";
}

// A cell's tag is left open: a map of many works has a hundred thousand cells, and the closing
// tags would add a tenth to the page.
void writeCell(Markup& page, const ColourScale& scale, const DataSet& data,
               const PairOutcomes* record, Variant variant, bool named, bool numbered) {
  if (record == nullptr) {
    page << "<td class=" << kNoCasesClass << " title=\"no cases\">";
    return;
  }
  const std::optional<VariantOutcome>& outcome = record->outcomes[index(variant)];
  if (!outcome) {
    writeBlankCell(page, data, *record, named, kNotTestedClass, "not tested");
    return;
  }
  const char* star = outcome->valid ? "" : "*";
  if (outcome->undefined || std::isnan(outcome->pValue)) {
    writeBlankCell(page, data, *record, named, outcome->undefined ? kInvalidClass : kNotTestedClass,
                   outcome->undefined ? "INVALID" : "nan");
    page << star;
    return;
  }
  const std::string cellClass = cellClassOfStep(stepOf(scale, outcome->pValue), outcome->flag == 1);
  page << "<td";
  if (cellClass != scale.commonest) page << " class=" << cellClass;
  page << " title=";
  if (named) {
    page << "\"";
    writePairNames(page, data, *record);
    page << "p = " << pValueText(outcome->pValue) << "\"";
  } else {
    page << pValueText(outcome->pValue);
  }
  page << ">" << star;
  // Two significant digits, which the cell's width holds.
  if (numbered) page << printed("%.2g", outcome->pValue);
}

}  // namespace

bool shown(const RunSettings& settings, const VariantDescriptor& variant) {
  return settings.families[variant.family];
}

ColourScale scaleOf(const RunSettings& settings, const std::vector<PageCriterion>& criteria) {
  double smallest = 1;
  forEachMappedOutcome(settings, criteria, [&](const VariantOutcome& outcome) {
    if (outcome.pValue >= 0 && outcome.pValue < smallest) smallest = outcome.pValue;
  });
  ColourScale scale = scaleReaching(smallest);
  std::map<std::string, std::size_t> cells;
  forEachMappedOutcome(settings, criteria, [&](const VariantOutcome& outcome) {
    if (!std::isnan(outcome.pValue))
      ++cells[cellClassOfStep(stepOf(scale, outcome.pValue), outcome.flag == 1)];
  });
  std::size_t most = 0;
  for (const auto& [cellClass, count] : cells) {
    if (count > most) {
      most = count;
      scale.commonest = cellClass;
    }
  }
  return scale;
}

void writeMap(Markup& page, const ColourScale& scale, const DataSet& data, const PairIndex& pairs,
              const VariantDescriptor& variant) {
  const bool square = descriptor(variant.family).bothOrders;
  const bool named = data.works.size() <= kNamedCellsUpTo;
  const bool numbered = data.works.size() <= kNumberedCellsUpTo;
  page << "<div class=\"scroll\"><table class=\"map" << (numbered ? " numbered" : "")
       << "\" aria-label=\"p-values: " << variant.pageTitle << "\">\n<thead><tr><th></th>";
  for (const auto& [work, shortName] : workShortNames(data)) {
    page << "<th title=\"" << NameText{workLongName(data, work)} << "\"><span>" << Name{shortName}
         << "</span></th>";
  }
  page << "</tr></thead>\n<tbody>\n";
  for (const auto& [workA, shortNameA] : workShortNames(data)) {
    page << "<tr><th title=\"" << NameText{workLongName(data, workA)} << "\">" << Name{shortNameA}
         << "</th>";
    for (const auto& entry : workShortNames(data)) {
      const std::uint32_t workB = entry.first;
      if (workB == workA) {
        page << "<td class=" << kSameWorkClass << ">";
        if (!square) break;
        continue;
      }
      const auto found = pairs.find({workA, workB});
      writeCell(page, scale, data, found == pairs.end() ? nullptr : found->second, variant.variant,
                named, numbered);
    }
    page << "</tr>\n";
  }
  page << "</tbody></table></div>\n";
}

}  // namespace brevox
