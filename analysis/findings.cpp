#include "analysis/findings.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <utility>

#include "stats/adjusted_p.h"
#include "stats/letters.h"

namespace brevox {

namespace {

// The symmetric tests in the order in which one is taken as the main test.
constexpr std::array<Variant, 4> kMainTestOrder = {Variant::fisherDoubleTail, Variant::permutation,
                                                   Variant::n1, Variant::pearson};

// A pair of works under the main test, the later work first as in the lower triangle.
struct JudgedPair {
  const PairOutcomes* lower;
  std::size_t lowerPair;  // its place among the lower pairs
  double pValue;
};

// The main test's p-value of a pair, if it has one.
std::optional<double> pairPValue(Variant test, const PairOutcomes& lower,
                                 const PairOutcomes* upper) {
  const auto slot = static_cast<std::size_t>(test);
  const std::optional<VariantOutcome>& outcome = lower.outcomes[slot];
  if (!outcome || outcome->undefined || std::isnan(outcome->pValue)) return std::nullopt;
  if (test != Variant::binomial) return outcome->pValue;
  if (upper == nullptr) return std::nullopt;
  const std::optional<VariantOutcome>& other = upper->outcomes[slot];
  if (!other || std::isnan(other->pValue)) return std::nullopt;
  return std::max(outcome->pValue, other->pValue);
}

// Where each work with cases stands among them, for the letters.
using WorksWithCases = std::map<std::uint32_t, std::size_t>;

// Each work's counts and interval, the homogeneity test over them, and the works with cases
// sorted in the criterion's direction.
WorksWithCases findWorks(CriterionFindings& findings, const DataSet& data) {
  std::vector<CountPair> counts;
  WorksWithCases withCases;
  for (const auto& entry : workShortNames(data)) {
    WorkFinding work;
    work.work = entry.first;
    work.counts = countPair(data, entry.first, findings.criterion);
    work.interval = wilsonScoreInterval(work.counts.observed, work.counts.total);
    counts.push_back(work.counts);
    if (work.counts.total > 0) {
      withCases.emplace(work.work, withCases.size());
      findings.sorted.push_back(findings.works.size());
    }
    findings.works.push_back(work);
  }
  findings.homogeneity = homogeneityTest(counts);
  const bool upwards = direction(data, findings.criterion) >= 0;
  std::stable_sort(findings.sorted.begin(), findings.sorted.end(),
                   [&](std::size_t x, std::size_t y) {
                     const double px = findings.works[x].interval.proportion;
                     const double py = findings.works[y].interval.proportion;
                     return upwards ? px < py : px > py;
                   });
  return withCases;
}

// The pairs of the lower triangle with a p-value of the main test: Holm's family.
std::vector<JudgedPair> judgedPairs(const std::vector<MirroredPair>& lowerPairs, Variant test) {
  std::vector<JudgedPair> judged;
  for (std::size_t k = 0; k < lowerPairs.size(); ++k) {
    const MirroredPair& mirrored = lowerPairs[k];
    const std::optional<double> p = pairPValue(test, *mirrored.lower, mirrored.upper);
    if (p) judged.push_back({mirrored.lower, k, *p});
  }
  return judged;
}

// The pairs that differ once Holm's method adjusts the p-values, into the findings, without their
// estimates yet. Returns which works with cases each pair separates, for the letters.
std::vector<std::vector<bool>> findDifferingPairs(CriterionFindings& findings, const DataSet& data,
                                                  const std::vector<JudgedPair>& judged,
                                                  const WorksWithCases& withCases) {
  std::vector<double> pValues;
  for (const JudgedPair& pair : judged) pValues.push_back(pair.pValue);
  const std::vector<double> holm = holmAdjusted(pValues);
  const std::size_t works = withCases.size();
  std::vector<std::vector<bool>> separated(works, std::vector<bool>(works, false));
  for (std::size_t k = 0; k < judged.size(); ++k) {
    if (!(holm[k] < data.threshold)) continue;
    const PairComparison& pair = judged[k].lower->pair;
    const std::size_t a = withCases.at(pair.workA);
    const std::size_t b = withCases.at(pair.workB);
    separated[a][b] = true;
    separated[b][a] = true;
    // The work with the larger proportion first; on equal proportions the later work.
    const bool aFirst = static_cast<double>(pair.observedA) * pair.totalB >=
                        static_cast<double>(pair.observedB) * pair.totalA;
    DifferingPair differing;
    differing.first = aFirst ? pair.workA : pair.workB;
    differing.second = aFirst ? pair.workB : pair.workA;
    differing.firstCounts = countPair(data, differing.first, findings.criterion);
    differing.secondCounts = countPair(data, differing.second, findings.criterion);
    differing.adjustedP = holm[k];
    differing.lowerPair = judged[k].lowerPair;
    differing.reversed = !aFirst;
    findings.pairs.push_back(differing);
  }
  return separated;
}

}  // namespace

std::optional<Variant> mainTest(const FamilySet& families, std::optional<Variant> mergeMain) {
  auto ran = [&](Variant variant) { return families[familyOf(variant)]; };
  if (mergeMain && *mergeMain != Variant::binomial && ran(*mergeMain)) return mergeMain;
  for (Variant variant : kMainTestOrder) {
    if (ran(variant)) return variant;
  }
  if (ran(Variant::binomial)) return Variant::binomial;
  return std::nullopt;
}

CriterionFindings criterionFindings(const std::vector<MirroredPair>& lowerPairs,
                                    std::uint32_t criterion, const DataSet& data,
                                    std::optional<Variant> test) {
  CriterionFindings findings;
  findings.criterion = criterion;
  findings.test = test;
  const WorksWithCases withCases = findWorks(findings, data);
  if (!test) return findings;
  const std::vector<JudgedPair> judged = judgedPairs(lowerPairs, *test);
  findings.judgedPairs = judged.size();
  const std::vector<std::vector<bool>> separated =
      findDifferingPairs(findings, data, judged, withCases);

  // The letters, named down the works as the findings sort them.
  std::vector<std::size_t> order;
  for (std::size_t w : findings.sorted) order.push_back(withCases.at(findings.works[w].work));
  const std::vector<std::string> letters = workLetters(insertAbsorb(separated), order);
  for (WorkFinding& work : findings.works) {
    const auto found = withCases.find(work.work);
    if (found != withCases.end()) work.letters = letters[found->second];
  }
  return findings;
}

void sortByDifference(CriterionFindings& findings) {
  std::stable_sort(findings.pairs.begin(), findings.pairs.end(),
                   [](const DifferingPair& x, const DifferingPair& y) {
                     return x.difference.difference > y.difference.difference;
                   });
}

}  // namespace brevox
