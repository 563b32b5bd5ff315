#include "analysis/run_record.h"

#include <cstddef>
#include <utility>

namespace brevox {

void recordPair(CriterionAnalysis& analysis, const TestedPair& pair, const RunSettings& settings) {
  if (settings.needs.findings && pair.table) analysis.pairs.push_back({*pair.table, pair.outcomes});
}

void endAnalysis(CriterionAnalysis& analysis, RunRecord& record, const DataSet& data) {
  const RunSettings& settings = record.settings;
  const AnalysisNeeds& needs = settings.needs;
  if (!needs.findings) return;
  analysis.lowerPairs = mirroredPairs(analysis.pairs);
  CriterionFindings& findings = analysis.findings;
  findings = criterionFindings(analysis.lowerPairs, analysis.criterion, data, settings.mainTest);
  // One pass of estimates: every lower pair's where they are needed, then the differing pairs'
  // that are not among them, turned to put the larger proportion first.
  std::vector<PairComparison> tables;
  if (needs.pairEstimates) {
    for (const MirroredPair& mirrored : analysis.lowerPairs) tables.push_back(mirrored.lower->pair);
  }
  const std::size_t lowerCount = tables.size();
  auto ownEstimate = [&](const DifferingPair& differing) {
    return differing.reversed || !needs.pairEstimates;
  };
  if (needs.keptFindings) {
    for (const DifferingPair& differing : findings.pairs) {
      if (!ownEstimate(differing)) continue;
      tables.emplace_back(analysis.criterion, differing.first, differing.firstCounts,
                          differing.second, differing.secondCounts);
    }
  }
  std::vector<PairEstimate> estimates = pairEstimates(tables, settings.threads);
  if (needs.keptFindings) {
    std::size_t own = lowerCount;
    for (DifferingPair& differing : findings.pairs) {
      const PairEstimate& estimate =
          ownEstimate(differing) ? estimates[own++] : estimates[differing.lowerPair];
      differing.difference = estimate.difference;
      differing.oddsRatio = estimate.oddsRatio;
    }
    sortByDifference(findings);
    record.findings.push_back(findings);
  }
  estimates.resize(lowerCount);
  analysis.estimates = std::move(estimates);
}

void endRunAnalysis(RunRecord& record, const DataSet& data) {
  if (!record.settings.needs.order) return;
  const OrderCounts counts = orderCounts(data);
  RunOrder order;
  order.fit = fitOrder(counts);
  order.bootstrap = bootstrapOrder(counts, order.fit, record.settings.threads);
  record.order = std::move(order);
}

}  // namespace brevox
