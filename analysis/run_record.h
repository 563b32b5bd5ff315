#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "analysis/findings.h"
#include "analysis/order_bootstrap.h"
#include "analysis/order_fit.h"
#include "analysis/pair_estimates.h"
#include "analysis/tested_pair.h"
#include "data/data_set.h"
#include "stats/families.h"

namespace brevox {

/// What the outputs of a run read of its analysis, so that it computes and keeps no more.
struct AnalysisNeeds {
  /// Each criterion's tested pairs and findings, at the criterion's end.
  bool findings = false;
  /// The difference and odds ratio of every lower pair, at the criterion's end.
  bool pairEstimates = false;
  /// Every criterion's findings, with the estimates of the pairs that still differ, kept to the
  /// run's end.
  bool keptFindings = false;
};

/// How the run tests, draws and finds, resolved once from its options and data.
struct RunSettings {
  FamilySet families;        ///< the families the run tests
  bool dottedEdges = false;  ///< results on too few cases drawn dotted
  /// The main and subordinate variants of the merged graphs, when the run draws them.
  std::optional<Variant> mergeMain;
  std::optional<Variant> mergeSub;
  std::optional<Variant> mainTest;  ///< mainTest(families, mergeMain)
  double threshold = 0.05;          ///< the data's
  unsigned threads = 1;             ///< the most threads the run computes on at once
  AnalysisNeeds needs;
};

/// What one criterion found: its pairs as the run takes them, the rest at the criterion's end,
/// when the outputs read it. Dropped once they have: only the record keeps what lasts.
struct CriterionAnalysis {
  CriterionAnalysis() = default;
  // The lower pairs point into the pairs.
  CriterionAnalysis(const CriterionAnalysis&) = delete;
  CriterionAnalysis& operator=(const CriterionAnalysis&) = delete;

  std::uint32_t criterion = 0;
  /// The tested pairs in the run's order (row work A, then column work B), where the findings are
  /// needed; else empty.
  std::vector<PairOutcomes> pairs;
  std::vector<MirroredPair> lowerPairs;
  /// Each lower pair's estimates, work A against work B, where needed; else empty.
  std::vector<PairEstimate> estimates;
  /// Where needed; its differing pairs carry their estimates, largest difference first, only
  /// where the findings are kept to the run's end.
  CriterionFindings findings;
};

/// The order of the works over all criteria, fitted to every cell with cases, and how sure it is.
struct RunOrder {
  OrderFit fit;
  OrderBootstrap bootstrap;
};

/// What the run found, the one record that its outputs read.
struct RunRecord {
  RunSettings settings;
  /// Each criterion's findings so far, in the order of the criteria, where needs.keptFindings.
  std::vector<CriterionFindings> findings;
  /// The order of the works, filled at the run's end before the outputs hear of it, where an
  /// output reads it.
  std::optional<RunOrder> order;
};

/// Keeps a tested pair for the criterion's end, where the findings are needed.
void recordPair(CriterionAnalysis& analysis, const TestedPair& pair, const RunSettings& settings);

/// Completes the criterion's analysis from its pairs, each statistic computed once and the
/// estimates on the run's threads, and keeps in `record` what lasts to the run's end.
void endAnalysis(CriterionAnalysis& analysis, RunRecord& record, const DataSet& data);

}  // namespace brevox
