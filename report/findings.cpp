#include "report/findings.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <thread>
#include <utility>

#include "stats/adjusted_p.h"
#include "stats/letters.h"

namespace brevox {

namespace {

// Fewer pairs than this to a thread and a thread costs more than it saves.
constexpr std::size_t kPairsPerThread = 64;

// The symmetric tests in the order in which one is taken as the main test.
constexpr std::array<Variant, 4> kMainTestOrder = {Variant::fisherDoubleTail, Variant::permutation,
                                                   Variant::n1, Variant::pearson};

// A pair of works under the main test, the later work first as in the lower triangle.
struct JudgedPair {
  const PairRecord* lower;
  double pValue;
};

// The main test's p-value of a pair, if it has one.
std::optional<double> pairPValue(Variant test, const PairRecord& lower, const PairRecord* upper) {
  const std::optional<VariantOutcome>& outcome = lower.outcomes[index(test)];
  if (!outcome || outcome->undefined || std::isnan(outcome->pValue)) return std::nullopt;
  if (test != Variant::binomial) return outcome->pValue;
  if (upper == nullptr) return std::nullopt;
  const std::optional<VariantOutcome>& other = upper->outcomes[index(test)];
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
std::vector<JudgedPair> judgedPairs(const CriterionRecord& criterion, Variant test) {
  std::vector<JudgedPair> judged;
  for (const MirroredPair& mirrored : mirroredPairs(criterion)) {
    const std::optional<double> p = pairPValue(test, *mirrored.lower, mirrored.upper);
    if (p) judged.push_back({mirrored.lower, *p});
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
    findings.pairs.push_back(differing);
  }
  return separated;
}

// The difference of proportions and the odds ratio of each differing pair, on `threads` threads.
void estimateDifferences(CriterionFindings& findings, unsigned threads) {
  auto estimate = [&](std::size_t from, std::size_t to) {
    for (std::size_t k = from; k < to; ++k) {
      DifferingPair& differing = findings.pairs[k];
      const PairComparison oriented(findings.criterion, differing.first, differing.firstCounts,
                                    differing.second, differing.secondCounts);
      differing.difference = proportionDifference(oriented);
      differing.oddsRatio = conditionalOddsRatio(oriented);
    }
  };
  const std::size_t count = findings.pairs.size();
  const std::size_t helpers = std::min<std::size_t>(threads, count / kPairsPerThread);
  std::vector<std::thread> workers;
  for (std::size_t t = 1; t < helpers; ++t) {
    workers.emplace_back(estimate, count * t / helpers, count * (t + 1) / helpers);
  }
  estimate(0, helpers > 1 ? count / helpers : count);
  for (std::thread& worker : workers) worker.join();
}

}  // namespace

std::optional<Variant> mainTest(const FamilySet& families, std::optional<Variant> mergeMain) {
  auto ran = [&](Variant variant) { return families[descriptor(variant).family]; };
  if (mergeMain && *mergeMain != Variant::binomial && ran(*mergeMain)) return mergeMain;
  for (Variant variant : kMainTestOrder) {
    if (ran(variant)) return variant;
  }
  if (ran(Variant::binomial)) return Variant::binomial;
  return std::nullopt;
}

std::string mainTestTitle(Variant variant) {
  std::string title = descriptor(variant).pageTitle;
  if (variant == Variant::binomial) {
    title += ", the larger p-value of its two directions";
  }
  return title;
}

CriterionFindings criterionFindings(const CriterionRecord& criterion, const DataSet& data,
                                    std::optional<Variant> test, unsigned threads) {
  CriterionFindings findings;
  findings.criterion = criterion.criterion;
  findings.test = test;
  const WorksWithCases withCases = findWorks(findings, data);
  if (!test) return findings;
  const std::vector<JudgedPair> judged = judgedPairs(criterion, *test);
  findings.judgedPairs = judged.size();
  const std::vector<std::vector<bool>> separated =
      findDifferingPairs(findings, data, judged, withCases);
  estimateDifferences(findings, threads);
  std::stable_sort(findings.pairs.begin(), findings.pairs.end(),
                   [](const DifferingPair& x, const DifferingPair& y) {
                     return x.difference.difference > y.difference.difference;
                   });

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

}  // namespace brevox
