#include "stats/families.h"

namespace brevox {

namespace {

bool enoughCases(const PairComparison& pair) {
  return pair.totalA >= kMinimumCases && pair.totalB >= kMinimumCases;
}

VariantOutcome outcome(double pValue, std::int32_t flag, bool valid) {
  VariantOutcome result;
  result.pValue = pValue;
  result.flag = flag;
  result.valid = valid;
  return result;
}

VariantOutcome chiSquareOutcome(const ChiSquareResult& result, double pValue, std::int32_t flag,
                                std::int32_t warning, bool enough) {
  VariantOutcome chi = outcome(pValue, flag, enough && warning == ChiSquareWarning::none);
  chi.undefined = result.warningPearson == ChiSquareWarning::expectedZero;
  return chi;
}

}  // namespace

void runFamily(Family family, const PairComparison& pair, double threshold, std::ostream& progress,
               FamilyResults& results) {
  results.ran[family] = true;
  switch (family) {
    case Family::binomial:
      results.binomial = binomialTest(pair, threshold);
      return;
    case Family::chiSquare:
      results.chiSquare = chiSquareTests(pair, threshold);
      return;
    case Family::fisher:
      results.fisher = fisherExactTest(pair, threshold);
      return;
    case Family::permutation:
      results.permutation = permutationTest(pair, threshold, progress);
      return;
  }
}

std::optional<VariantOutcome> variantOutcome(Variant variant, const PairComparison& pair,
                                             const FamilyResults& results) {
  const bool enough = enoughCases(pair);
  switch (variant) {
    case Variant::binomial: {
      if (!results.binomial) return std::nullopt;
      VariantOutcome binomial =
          outcome(results.binomial->pDoubleTail, results.binomial->significantDoubleTail, enough);
      binomial.midPValue = results.binomial->midPDoubleTail;
      return binomial;
    }
    case Variant::fisherDoubleTail:
      if (!results.fisher) return std::nullopt;
      return outcome(results.fisher->pDoubleTail, results.fisher->significantDoubleTail, enough);
    case Variant::fisherMidP:
      if (!results.fisher) return std::nullopt;
      return outcome(results.fisher->pMidP, results.fisher->significantMidP, enough);
    case Variant::pearson:
      if (!results.chiSquare) return std::nullopt;
      return chiSquareOutcome(*results.chiSquare, results.chiSquare->pPearson,
                              results.chiSquare->significantPearson,
                              results.chiSquare->warningPearson, enough);
    case Variant::yates:
      if (!results.chiSquare) return std::nullopt;
      return chiSquareOutcome(*results.chiSquare, results.chiSquare->pYates,
                              results.chiSquare->significantYates,
                              results.chiSquare->warningPearson, enough);
    case Variant::n1:
      if (!results.chiSquare) return std::nullopt;
      return chiSquareOutcome(*results.chiSquare, results.chiSquare->pN1,
                              results.chiSquare->significantN1, results.chiSquare->warningN1,
                              enough);
    case Variant::permutation:
      if (!results.permutation) return std::nullopt;
      return outcome(results.permutation->pValue, results.permutation->significant, enough);
  }
  return std::nullopt;
}

}  // namespace brevox
