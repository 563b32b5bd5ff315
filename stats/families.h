#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>

#include "stats/binomial.h"
#include "stats/chi_square.h"
#include "stats/fisher_exact.h"
#include "stats/pair_comparison.h"
#include "stats/permutation.h"

namespace brevox {

/// The four families of tests, in the order in which a pair runs them.
enum class Family : std::size_t { binomial, chiSquare, fisher, permutation };
inline constexpr std::size_t kFamilyCount = 4;

/// A choice among the families, such as the ones a run tests.
struct FamilySet {
  std::array<bool, kFamilyCount> members{};

  constexpr bool operator[](Family family) const {
    return members[static_cast<std::size_t>(family)];
  }
  constexpr bool& operator[](Family family) { return members[static_cast<std::size_t>(family)]; }
};

/// Every family, as a run tests them when no test letter is given.
inline constexpr FamilySet kAllFamilies = {{true, true, true, true}};

/// Whether the set holds any family.
constexpr bool anyFamily(const FamilySet& families) {
  for (const bool member : families.members) {
    if (member) return true;
  }
  return false;
}

/// Fewer cases than this in either work and a significant result is not trusted: it is starred
/// in the summary tables, drawn dotted in the graphs and marked in the results table.
inline constexpr std::uint32_t kMinimumCases = 5;

/// The results of a family that are judged, tabled and drawn each on their own, in the order of
/// their graphs: the binomial double tail, Fisher's double tail and mid-p, Pearson's, Yates' and
/// the N-1 chi-square, the permutation test.
enum class Variant : std::size_t {
  binomial,
  fisherDoubleTail,
  fisherMidP,
  pearson,
  yates,
  n1,
  permutation
};
inline constexpr std::size_t kVariantCount = 7;

/// The family whose test gives the variant.
constexpr Family familyOf(Variant variant) {
  switch (variant) {
    case Variant::binomial:
      return Family::binomial;
    case Variant::fisherDoubleTail:
    case Variant::fisherMidP:
      return Family::fisher;
    case Variant::pearson:
    case Variant::yates:
    case Variant::n1:
      return Family::chiSquare;
    case Variant::permutation:
      break;
  }
  return Family::permutation;
}

/// The results of the families run on one pair; a family that did not run has none.
struct FamilyResults {
  FamilySet ran;  ///< the families that ran on the pair
  std::optional<BinomialResult> binomial;
  std::optional<ChiSquareResult> chiSquare;
  std::optional<FisherResult> fisher;
  std::optional<PermutationResult> permutation;
};

/// Runs one family on the pair and keeps its result in `results`. The permutation test writes its
/// progress dots to `progress`. Preconditions: those of the family's test.
void runFamily(Family family, const PairComparison& pair, double threshold, std::ostream& progress,
               FamilyResults& results);

/// What one variant found for one pair.
struct VariantOutcome {
  double pValue = 0;
  double midPValue = 0;   ///< the binomial double tail's mid-p; 0 for the other variants
  std::int32_t flag = 0;  ///< 1 when the variant finds a significant difference
  /// Whether a significant result rests on enough data: both works have at least five cases and,
  /// for the chi-square tests, their expected counts are large enough.
  bool valid = false;
  /// An expected count of 0 leaves the chi-square statistics without meaning: no value, no edge.
  bool undefined = false;
};

/// The outcome of `variant` from its family's result, or nothing when the family did not run on
/// this pair.
std::optional<VariantOutcome> variantOutcome(Variant variant, const PairComparison& pair,
                                             const FamilyResults& results);

}  // namespace brevox
