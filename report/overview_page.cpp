#include "report/overview_page.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "report/page_front.h"
#include "report/page_text.h"

namespace brevox {

namespace {

// The shades of a cell, by the proportion's place within its criterion's range.
constexpr int kShades = 5;

// Names listed in a sentence before the others are counted.
constexpr std::size_t kNamesListed = 3;

// Letters shown in a cell; a work of many works' criterion may hold dozens, all in its hover text.
constexpr std::size_t kLettersShown = 8;

// Whether a criterion's works can be told apart at all: some pair still differs once the
// p-values are adjusted.
bool anyDiffers(const CriterionFindings& findings) { return !findings.pairs.empty(); }

void writeNames(Markup& page, const std::vector<std::uint32_t>& works, const DataSet& data) {
  const std::size_t listed = works.size() > kNamesListed + 1 ? kNamesListed : works.size();
  for (std::size_t k = 0; k < listed; ++k) {
    if (k > 0) page << (k + 1 == listed && listed == works.size() ? " and " : ", ");
    page << Name{workLongName(data, works[k])};
  }
  if (listed < works.size()) page << " and " << thousands(works.size() - listed) << " others";
}

// The works at either end of the criterion's range that stand apart from the other end: those
// that the main test does not separate from the work of the highest proportion (they share a
// letter with it) and does separate from that of the lowest, and the other way round; none where
// the two ends do not differ.
std::pair<std::vector<std::uint32_t>, std::vector<std::uint32_t>> endsApart(
    const CriterionFindings& findings) {
  std::vector<const WorkFinding*> rising;
  for (std::size_t w : findings.sorted) rising.push_back(&findings.works[w]);
  std::stable_sort(rising.begin(), rising.end(), [](const WorkFinding* a, const WorkFinding* b) {
    return a->interval.proportion < b->interval.proportion;
  });
  std::set<std::pair<std::uint32_t, std::uint32_t>> differing;
  for (const DifferingPair& pair : findings.pairs) {
    differing.insert(std::minmax(pair.first, pair.second));
  }
  auto differ = [&](const WorkFinding* a, const WorkFinding* b) {
    return differing.count(std::minmax(a->work, b->work)) != 0;
  };
  const WorkFinding* lowest = rising.front();
  const WorkFinding* highest = rising.back();
  if (!differ(lowest, highest)) return {};
  std::vector<std::uint32_t> high;
  std::vector<std::uint32_t> low;
  for (auto at = rising.rbegin(); at != rising.rend(); ++at) {
    if (differ(*at, lowest) && (*at == highest || !differ(*at, highest))) {
      high.push_back((*at)->work);
    }
  }
  for (const WorkFinding* work : rising) {
    if (differ(work, highest) && (work == lowest || !differ(work, lowest))) {
      low.push_back(work->work);
    }
  }
  return {high, low};
}

void writeSentence(Markup& page, const CriterionFindings& findings, const DataSet& data) {
  const std::uint32_t number = findings.criterion;
  page << "<li><b>" << number << "&nbsp;" << Name{criterionLongName(data, number)} << ".</b> ";
  if (findings.judgedPairs == 0) {
    page << "Fewer than two works have cases: there is nothing to compare.</li>\n";
    return;
  }
  const std::string counted =
      thousands(findings.pairs.size()) + " of " + thousands(findings.judgedPairs) +
      (findings.judgedPairs == 1 ? " pair differs" : " pairs differ") + " after adjustment.";
  if (!anyDiffers(findings)) {
    page << "No two works can be told apart: " << counted << "</li>\n";
    return;
  }
  const auto [high, low] = endsApart(findings);
  if (high.empty()) {
    // The two ends do not differ: the pair of the largest difference stands for the others.
    const DifferingPair& largest = findings.pairs.front();
    page << Name{workLongName(data, largest.first)} << " ("
         << proportionText(findings.works[largest.first - 1].interval.proportion)
         << ") stands apart from " << Name{workLongName(data, largest.second)} << " ("
         << proportionText(findings.works[largest.second - 1].interval.proportion)
         << "), the largest difference; " << counted << "</li>\n";
    return;
  }
  writeNames(page, high, data);
  page << ", with the highest " << (high.size() == 1 ? "proportion, stands" : "proportions, stand")
       << " apart from ";
  writeNames(page, low, data);
  page << ", with the lowest; " << counted << "</li>\n";
}

// A cell's shade: where its proportion lies between the lowest and the highest of its criterion.
int shadeOf(double proportion, double lowest, double highest) {
  if (!(highest > lowest)) return 0;
  const double place = (proportion - lowest) / (highest - lowest);
  return std::clamp(static_cast<int>(std::floor(place * kShades)), 0, kShades - 1);
}

void writeTableHead(Markup& page, const std::vector<CriterionFindings>& findings,
                    const DataSet& data) {
  page << "<div class=\"scroll\"><table class=\"data overview\">\n<thead><tr>"
          "<th class=\"name\">Work</th>";
  for (const CriterionFindings& criterion : findings) {
    const std::uint32_t number = criterion.criterion;
    const std::int32_t ordering = direction(data, number);
    page << "<th" << (anyDiffers(criterion) ? "" : " class=\"flat\"") << " title=\""
         << NameText{criterionLongName(data, number)} << "\">" << number << "&nbsp;"
         << Name{shortened(criterionLongName(data, number), 24)} << "<small>"
         << (ordering > 0   ? "\xE2\x86\x91 "
             : ordering < 0 ? "\xE2\x86\x93 "
                            : "")
         << Name{criterionShortName(data, number)} << "</small></th>";
  }
  page << "</tr></thead>\n<tbody>\n";
}

void writeTable(Markup& page, const std::vector<std::uint32_t>& order,
                const std::vector<CriterionFindings>& findings, const DataSet& data) {
  writeTableHead(page, findings, data);
  std::vector<std::pair<double, double>> ranges;
  for (const CriterionFindings& criterion : findings) {
    double lowest = 1;
    double highest = 0;
    for (std::size_t w : criterion.sorted) {
      lowest = std::min(lowest, criterion.works[w].interval.proportion);
      highest = std::max(highest, criterion.works[w].interval.proportion);
    }
    ranges.emplace_back(lowest, highest);
  }
  for (std::uint32_t work : order) {
    page << "<tr><td class=\"name\" title=\"" << NameText{workShortName(data, work)} << "\">"
         << Name{shortened(workLongName(data, work), 36)};
    for (std::size_t c = 0; c < findings.size(); ++c) {
      const WorkFinding& finding = findings[c].works[work - 1];
      if (finding.counts.total == 0) {
        page << "<td class=\"none\">\xE2\x80\x93";
        continue;
      }
      page << "<td class=\"";
      if (anyDiffers(findings[c])) {
        page << "s" << shadeOf(finding.interval.proportion, ranges[c].first, ranges[c].second);
      } else {
        page << "flat";
      }
      page << "\">" << proportionText(finding.interval.proportion);
      if (characters(finding.letters) > kLettersShown) {
        page << "<i title=\"" << finding.letters << "\">"
             << shortened(finding.letters, kLettersShown) << "</i>";
      } else {
        page << "<i>" << finding.letters << "</i>";
      }
    }
    page << "\n";
  }
  page << "</tbody></table></div>\n";
}

}  // namespace

std::vector<std::uint32_t> worksInOrder(const RunRecord& record, const DataSet& data) {
  std::vector<std::uint32_t> order;
  std::vector<std::uint32_t> unplaced;
  if (record.order) {
    std::vector<const OrderWorkFit*> placed;
    for (const OrderWorkFit& work : record.order->fit.works) {
      if (work.position) placed.push_back(&work);
    }
    std::stable_sort(
        placed.begin(), placed.end(),
        [](const OrderWorkFit* a, const OrderWorkFit* b) { return *a->position < *b->position; });
    for (const OrderWorkFit* work : placed) order.push_back(work->work);
  }
  for (const std::uint32_t work : workNumbers(data)) {
    if (std::find(order.begin(), order.end(), work) == order.end()) unplaced.push_back(work);
  }
  order.insert(order.end(), unplaced.begin(), unplaced.end());
  return order;
}

void writeOverview(Markup& page, const RunRecord& record, const DataSet& data) {
  const std::vector<CriterionFindings>& findings = record.findings;
  if (findings.empty()) return;
  const bool anyFlat = std::any_of(findings.begin(), findings.end(),
                                   [](const CriterionFindings& c) { return !anyDiffers(c); });
  page << "<section id=\"overview\">\n<h2>The works under every criterion</h2>\n<p class=\"note\">"
          "Each work's proportion of occurrences under each criterion, and its letters: two works "
          "that share a letter cannot be told apart under that criterion once the p-values are "
          "adjusted. The darker the cell, the higher the proportion within its criterion's range. "
       << (record.order ? "The works stand in the order over all criteria."
                        : "The works stand in the order of the data.");
  if (anyFlat) {
    page << " Greyed: a criterion under which no two works can be told apart.";
  }
  page << "</p>\n";
  writeTable(page, worksInOrder(record, data), findings, data);
  page << "<ul class=\"sentences\">\n";
  for (const CriterionFindings& criterion : findings) writeSentence(page, criterion, data);
  page << "</ul>\n</section>\n";
}

}  // namespace brevox
