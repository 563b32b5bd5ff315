#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "stats/families.h"

namespace brevox {

/// How a family shows on the command line and in the file names.
struct FamilyDescriptor {
  Family family;
  char optionLetter;             ///< selects the family on the command line
  const char* reportPrefix;      ///< a pair's report: prefix, criterion, "_", A, "_", B, ".csv"
  const char* singlePairReport;  ///< the report file of single-pair mode
  /// The binomial test asks whether A's count fits B's proportion, so it runs on both orders of a
  /// pair; the symmetric tests run once, on the row of the work with the higher number.
  bool bothOrders;
  const char* pageWords;  ///< how a page names the family among the tests of the run
};

/// The families, in the order in which a pair runs them.
inline constexpr std::array<FamilyDescriptor, kFamilyCount> kFamilies = {{
    {Family::binomial, 'B', "binD_", "binDistriTest.csv", true, "binomial (double tail)"},
    {Family::chiSquare, 'C', "chiSq_", "chiSqTest.csv", false,
     "chi-square (Pearson's, Yates' correction, N-1)"},
    {Family::fisher, 'F', "fish_", "fishTest.csv", false, "Fisher's exact (double tail, mid-p)"},
    {Family::permutation, 'P', "perm_", "permutTest.csv", false, "exact permutation"},
}};

/// A criterion's summary tables and graphs are opened family by family in this order.
inline constexpr std::array<Family, kFamilyCount> kFileOrder = {
    Family::binomial, Family::fisher, Family::chiSquare, Family::permutation};

/// The value a summary table shows in each cell.
enum class Quantity { pValue, midPValue, flag };

/// One summary table of a criterion: works by works.
struct SummaryTable {
  const char* prefix;  ///< file name: prefix, criterion short name, ".csv"
  const char* title;   ///< first line: title, criterion short name
  Quantity quantity;
};

/// A graph: "graph_" tag "_" criterion ".gv" per criterion, with the graph id tag "_" criterion,
/// and one file over all criteria.
struct GraphNames {
  const char* tag;
  const char* allCriteriaFile;
  const char* allCriteriaHeader;
};

/// Everything the output needs to know of one variant.
struct VariantDescriptor {
  Variant variant;
  Family family;
  char mergeLetter;       ///< names the variant after option M
  const char* pageTitle;  ///< how a page names the variant
  /// Names the variant's columns in the results table of option E (the binomial test's two
  /// directions add "_ab" and "_ba") and the main test in its table of the works.
  const char* columnName;
  GraphNames graph;
  std::size_t tableCount;
  std::array<SummaryTable, 3> tables;  ///< the first tableCount are in use, in file order
};

/// The variants in the order of their graphs; within a family, also the order of their tables.
/// Some table prefixes end in "_" and some do not: the names are the ones users' scripts know.
inline constexpr std::array<VariantDescriptor, kVariantCount> kVariants = {{
    {Variant::binomial,
     Family::binomial,
     'b',
     "Binomial test, double tail",
     "binomial",
     {"binD", "graphBinDAllCriteria.gv", "digraph binD_all_cr"},
     3,
     {{{"T_binD_Dt_pVal_", "BINOMIAL DISTRIBUTION TEST DOUBLE TAIL P-VAL: ", Quantity::pValue},
       {"T_binD_Midp_pVal_",
        "BINOMIAL DISTRIBUTION TEST DOUBLE TAIL MID-P P-VAL: ", Quantity::midPValue},
       {"T_binD_Dt_Flag_", "BINOMIAL DISTRIBUTION TEST DOUBLE TAIL PASS FLAG: ", Quantity::flag}}}},
    {Variant::fisherDoubleTail,
     Family::fisher,
     'f',
     "Fisher's exact test, double tail",
     "fisher",
     {"fishDt", "graphFishDtAllCriteria.gv", "digraph fishDt_all_cr"},
     2,
     {{{"T_fish_Dt_pVal", "FISHER EXACT TEST P-VAL: ", Quantity::pValue},
       {"T_fish_Dt_Flag", "FISHER EXACT TEST PASS FLAG: ", Quantity::flag}}}},
    {Variant::fisherMidP,
     Family::fisher,
     'm',
     "Fisher's exact test, mid-p",
     "fisher_midp",
     {"fishMp", "graphFishMpAllCriteria.gv", "digraph fishMp_all_cr"},
     2,
     {{{"T_fish_Mp_pVal", "FISHER EXACT TEST (MID-P) P-VAL: ", Quantity::pValue},
       {"T_fish_Mp_Flag", "FISHER EXACT TEST (MID-P) PASS FLAG: ", Quantity::flag}}}},
    {Variant::pearson,
     Family::chiSquare,
     'c',
     "Pearson's chi-square test",
     "pearson",
     {"chisqP", "graphChiSqPAllCriteria.gv", "digraph chiSqP_all_cr"},
     2,
     {{{"T_ChiSq_pVal", "PEARSON'S CHI-SQUARE P-VAL: ", Quantity::pValue},
       {"T_ChiSq_Flag", "PEARSON'S CHI-SQUARE PASS FLAG: ", Quantity::flag}}}},
    {Variant::yates,
     Family::chiSquare,
     'y',
     "Chi-square test with Yates' correction",
     "yates",
     {"chisqY", "graphChiSqYAllCriteria.gv", "digraph chiSqY_all_cr"},
     2,
     {{{"T_ChiSq_Y_pVal", "YATES-CORR. CHI-SQUARE P-VAL: ", Quantity::pValue},
       {"T_ChiSq_Y_Flag", "YATES-CORR. CHI-SQUARE PASS FLAG: ", Quantity::flag}}}},
    {Variant::n1,
     Family::chiSquare,
     'n',
     "N-1 chi-square test",
     "n1",
     {"chisqN1", "graphChiSqN1AllCriteria.gv", "digraph chiSqN1_all_cr"},
     2,
     {{{"T_ChiSq_N1_pVal", "N-1 (CAMPBELL) CHI-SQUARE P-VAL: ", Quantity::pValue},
       {"T_ChiSq_N1_Flag", "N-1 (CAMPBELL) CHI-SQUARE PASS FLAG: ", Quantity::flag}}}},
    {Variant::permutation,
     Family::permutation,
     'p',
     "Exact permutation test",
     "permutation",
     {"perm", "graphPermAllCriteria.gv", "digraph perm_all_cr"},
     2,
     {{{"T_perm_pVal_", "EXACT PERMUTATION TEST P-VAL: ", Quantity::pValue},
       {"T_perm_Flag", "EXACT PERMUTATION TEST PASS FLAG: ", Quantity::flag}}}},
}};

/// The graphs of a run: one per variant, in the variants' order, then the merged graph of
/// option M, which draws a main variant where it rests on enough data and a subordinate one
/// elsewhere.
inline constexpr std::size_t kGraphCount = kVariantCount + 1;
inline constexpr std::size_t kMergedGraph = kVariantCount;
inline constexpr GraphNames kMergedGraphNames = {"merged", "graphMergedAllCriteria.gv",
                                                 "digraph merged_all_cr"};

/// The expected-probability table, which every full run writes, whatever the tests.
inline constexpr SummaryTable kExpectedProbabilityTable = {
    "T_exp_prob_", "EXPECTED PROBABILITY OF THE COMMON DISTRIBUTION: ", Quantity::pValue};

constexpr std::size_t index(Family family) { return static_cast<std::size_t>(family); }
constexpr std::size_t index(Variant variant) { return static_cast<std::size_t>(variant); }
constexpr const FamilyDescriptor& descriptor(Family family) { return kFamilies[index(family)]; }
constexpr const VariantDescriptor& descriptor(Variant variant) { return kVariants[index(variant)]; }

/// The names of graph `graph` (a variant's index, or kMergedGraph).
constexpr const GraphNames& graphNames(std::size_t graph) {
  return graph == kMergedGraph ? kMergedGraphNames : kVariants[graph].graph;
}

/// The variant a merge letter names, if any.
std::optional<Variant> variantOfMergeLetter(char letter);

/// Every file a criterion can have: the expected-probability table, each variant's tables and
/// each graph.
constexpr std::size_t criterionFileCount() {
  std::size_t count = 1 + kGraphCount;
  for (const VariantDescriptor& variant : kVariants) count += variant.tableCount;
  return count;
}
inline constexpr std::size_t kCriterionFileCount = criterionFileCount();

namespace variants_detail {

// Rows stand at the index of their enumerator, so that descriptor() is a plain lookup.
constexpr bool rowsInOrder() {
  for (std::size_t i = 0; i < kFamilyCount; ++i) {
    if (index(kFamilies[i].family) != i) return false;
  }
  for (std::size_t i = 0; i < kVariantCount; ++i) {
    if (index(kVariants[i].variant) != i) return false;
    if (kVariants[i].family != familyOf(kVariants[i].variant)) return false;
    if (kVariants[i].tableCount < 1 || kVariants[i].tableCount > kVariants[i].tables.size()) {
      return false;
    }
  }
  return true;
}

// Every family appears once in the file order, and each has at least one variant.
constexpr bool familiesCovered() {
  for (std::size_t f = 0; f < kFamilyCount; ++f) {
    std::size_t inFileOrder = 0;
    std::size_t variants = 0;
    for (Family family : kFileOrder) inFileOrder += index(family) == f ? 1 : 0;
    for (const VariantDescriptor& variant : kVariants)
      variants += index(variant.family) == f ? 1 : 0;
    if (inFileOrder != 1 || variants == 0) return false;
  }
  return true;
}

constexpr bool sameText(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

// Every family has its words for the page, and every variant a column name of its own.
constexpr bool namesGiven() {
  for (const FamilyDescriptor& family : kFamilies) {
    if (family.pageWords == nullptr || *family.pageWords == '\0') return false;
  }
  for (std::size_t i = 0; i < kVariantCount; ++i) {
    if (kVariants[i].columnName == nullptr || *kVariants[i].columnName == '\0') return false;
    for (std::size_t j = 0; j < i; ++j) {
      if (sameText(kVariants[i].columnName, kVariants[j].columnName)) return false;
    }
  }
  return true;
}

}  // namespace variants_detail

static_assert(variants_detail::rowsInOrder(),
              "a descriptor row stands out of its enum's order or family");
static_assert(variants_detail::familiesCovered(), "a family is missing from the file order");
static_assert(variants_detail::namesGiven(), "a family lacks its words or a variant its column");

}  // namespace brevox
