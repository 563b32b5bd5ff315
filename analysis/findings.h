#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/tested_pair.h"
#include "data/data_set.h"
#include "stats/families.h"
#include "stats/homogeneity.h"
#include "stats/odds_ratio.h"
#include "stats/proportion_difference.h"
#include "stats/wilson.h"

namespace brevox {

/// The test whose pairwise decisions, adjusted by Holm's method over the pairs of a criterion,
/// give the letters and the pairs that still differ: the main test of option M where that is a
/// symmetric test, else the first that the run made of Fisher's double tail, the permutation
/// test, the N-1 chi-square and Pearson's chi-square. With the binomial test alone, a pair's
/// p-value is the larger of its two directions (each work's count against the other's
/// proportion): the pair counts as separated only where both directions separate it. Empty when
/// the run made no test.
std::optional<Variant> mainTest(const FamilySet& families, std::optional<Variant> mergeMain);

/// Where one work of a criterion stands.
struct WorkFinding {
  std::uint32_t work = 0;
  CountPair counts;
  /// The proportion with its 95% Wilson score interval; NaN for a work without cases.
  ScoreInterval interval;
  /// The letters of the compact letter display; empty for a work without cases, or when no test
  /// was run.
  std::string letters;
};

/// A pair of works that the main test separates after Holm's adjustment, the work with the larger
/// proportion first.
struct DifferingPair {
  std::uint32_t first = 0;
  std::uint32_t second = 0;
  CountPair firstCounts;
  CountPair secondCounts;
  ProportionDifference difference;  ///< first's proportion less second's, Newcombe's interval
  OddsRatioEstimate oddsRatio;      ///< first's odds over second's, exact interval
  double adjustedP = 0;             ///< Holm's adjusted p-value of the main test
  /// Its place among the criterion's lower pairs; `first` is that pair's work A unless reversed.
  std::size_t lowerPair = 0;
  bool reversed = false;
};

/// What the run found under one criterion over all its works.
struct CriterionFindings {
  std::uint32_t criterion = 0;
  HomogeneityTest homogeneity;
  /// Every work, in the order of the data.
  std::vector<WorkFinding> works;
  /// The works with cases, sorted by proportion in the criterion's direction: ascending where it
  /// is ordered upwards, descending downwards, ties in the order of the data (indexes into works).
  std::vector<std::size_t> sorted;
  std::optional<Variant> test;  ///< the main test; none when the run made no test
  std::size_t judgedPairs = 0;  ///< the pairs with a p-value of the main test: Holm's family
  /// In the order of the lower pairs, until sortByDifference puts the largest difference first.
  std::vector<DifferingPair> pairs;
};

/// The findings of one criterion from its lower pairs (mirroredPairs), the differing pairs without
/// their estimates.
CriterionFindings criterionFindings(const std::vector<MirroredPair>& lowerPairs,
                                    std::uint32_t criterion, const DataSet& data,
                                    std::optional<Variant> test);

/// Puts the differing pairs, their estimates in place, in the order of their differences, the
/// largest first, ties in the order of the lower pairs.
void sortByDifference(CriterionFindings& findings);

}  // namespace brevox
