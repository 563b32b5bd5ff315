// Compares the four test families with reference values computed independently from exact
// probabilities and arrangement counts (tests/reference/stats_reference.py, which also says how
// ties and thresholds met exactly are marked), Fisher's decisions at thresholds on or next to its
// p-values with 60-digit sums (tests/reference/fisher_threshold.py), the effect sizes and
// adjusted p-values with SciPy, statsmodels, 40-digit roots and R
// (tests/reference/estimates_reference.py), and the findings over all works of a criterion with
// statsmodels, SciPy and R's multcompView (tests/reference/findings_reference.py).

#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/findings.h"
#include "io/number_text.h"
#include "report/variants.h"
#include "stats/adjusted_p.h"
#include "stats/arrangement_shares.h"
#include "stats/binomial.h"
#include "stats/chi_square.h"
#include "stats/fisher_exact.h"
#include "stats/homogeneity.h"
#include "stats/odds_ratio.h"
#include "stats/permutation.h"
#include "stats/permutation_count.h"
#include "stats/proportion_difference.h"
#include "stats/wilson.h"

namespace brevox {
namespace {

constexpr double kRelative = 1e-9;
// Values below the smallest normal doubles have no relative precision left.
constexpr double kTiny = 1e-300;

using Row = std::map<std::string, std::string>;

std::vector<Row> readRows(const std::string& name) {
  std::ifstream in(std::string(BREVOX_SOURCE_DIR) + "/tests/reference/" + name);
  EXPECT_TRUE(in) << "cannot read " << name;
  std::vector<Row> rows;
  std::string line;
  std::vector<std::string> header;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    std::vector<std::string> cells;
    std::istringstream fields(line);
    std::string cell;
    while (std::getline(fields, cell, ',')) {
      cells.push_back(cell);
    }
    if (!line.empty() && line.back() == ',') {
      cells.emplace_back();
    }
    if (header.empty()) {
      header = cells;
      continue;
    }
    Row row;
    for (std::size_t i = 0; i < header.size() && i < cells.size(); ++i) {
      row[header[i]] = cells[i];
    }
    rows.push_back(row);
  }
  return rows;
}

const std::vector<Row>& tables() {
  static const std::vector<Row> rows = readRows("stats_reference.csv");
  return rows;
}

double real(const Row& row, const std::string& column) {
  return std::strtod(row.at(column).c_str(), nullptr);
}

std::uint32_t count(const Row& row, const std::string& column) {
  return static_cast<std::uint32_t>(std::stoul(row.at(column)));
}

std::int32_t flag(const Row& row, const std::string& column) {
  return static_cast<std::int32_t>(std::stol(row.at(column)));
}

PairComparison pairOf(const Row& row) {
  return PairComparison(1, 1, {count(row, "a"), count(row, "nA")}, 2,
                        {count(row, "b"), count(row, "nB")});
}

std::string describe(const Row& row) {
  return "table " + row.at("id") + ": " + row.at("a") + "/" + row.at("nA") + " vs " + row.at("b") +
         "/" + row.at("nB") + (row.count("threshold") != 0 ? " at " + row.at("threshold") : "");
}

// Largest relative difference seen where the relative tolerance applies.
struct Largest {
  const char* family;
  double relative = 0;
  ~Largest() { std::printf("largest relative difference, %s: %.3g\n", family, relative); }
};

// Accepts `actual` within the relative tolerance of [low, high] (a single value when no tie
// leaves the result open), or within `absolute` of it.
void expectWithin(double actual, double low, double high, double absolute, Largest& largest,
                  const std::string& what) {
  if (std::isnan(low)) {
    EXPECT_TRUE(std::isnan(actual)) << what << " = " << actual << ", expected nan";
    return;
  }
  if (std::isinf(low)) {
    EXPECT_EQ(actual, low) << what;
    return;
  }
  const double nearest = std::clamp(actual, low, high);
  const double difference = std::abs(actual - nearest);
  const double relativeTolerance = kRelative * std::abs(nearest);
  std::ostringstream expected;
  expected.precision(17);
  expected << low;
  if (low < high) {
    expected << " to " << high;
  }
  EXPECT_LE(difference, std::max(relativeTolerance, absolute))
      << what << " = " << actual << ", expected " << expected.str();
  if (nearest != 0 && relativeTolerance >= absolute) {
    largest.relative = std::max(largest.relative, difference / std::abs(nearest));
  }
}

void expectClose(double actual, double expected, double absolute, Largest& largest,
                 const std::string& what) {
  expectWithin(actual, expected, expected, absolute, largest, what);
}

// A flag is checked unless its p-value lies within the tolerance of the threshold.
void expectFlag(std::int32_t actual, std::int32_t expected, double low, double high,
                double threshold, const std::string& what) {
  const double margin = kRelative * threshold;
  if (threshold >= low - margin && threshold <= high + margin) {
    return;
  }
  EXPECT_EQ(actual, expected) << what;
}

TEST(StatsReference, ReadsEveryTable) {
  ASSERT_GE(tables().size(), 100u);
  std::size_t enumerated = 0;
  for (const Row& row : tables()) {
    enumerated += row.at("perm_computed") == "1";
  }
  EXPECT_GE(enumerated, 90u);
}

TEST(StatsReference, BinomialTest) {
  Largest largest{"binomial"};
  std::map<std::string, std::vector<std::pair<double, double>>> arrays;
  for (const Row& entry : readRows("binomial_arrays.csv")) {
    arrays[entry.at("id")].emplace_back(real(entry, "density"), real(entry, "cumulative"));
  }
  for (const Row& row : tables()) {
    SCOPED_TRACE(describe(row));
    const double threshold = real(row, "threshold");
    const BinomialResult r = binomialTest(pairOf(row), threshold);

    const auto& expectedArrays = arrays.at(row.at("id"));
    BinomialTableCursor cursor = startBinomialTable(pairOf(row).totalA, r.successProbability);
    BinomialTableRow line;
    std::size_t i = 0;
    for (; nextBinomialRow(cursor, line); ++i) {
      ASSERT_LT(i, expectedArrays.size());
      expectClose(line.density, expectedArrays[i].first, kTiny, largest,
                  "density[" + std::to_string(i) + "]");
      expectClose(line.cumulative, expectedArrays[i].second, kTiny, largest,
                  "cumulative[" + std::to_string(i) + "]");
    }
    ASSERT_EQ(i, expectedArrays.size());

    EXPECT_EQ(r.observed, count(row, "a"));
    EXPECT_EQ(r.threshold, threshold);
    expectClose(r.successProbability, real(row, "bin_successProbability"), 0, largest,
                "successProbability");
    // Equally probable counts are decided exactly: the first is the expected count.
    EXPECT_EQ(r.mode, count(row, "bin_mode"));
    expectClose(r.modeDensity, real(row, "bin_modeDensity"), kTiny, largest, "modeDensity");
    expectClose(r.observedDensity, real(row, "bin_observedDensity"), kTiny, largest,
                "observedDensity");
    expectClose(r.pLeft, real(row, "bin_pLeft"), kTiny, largest, "pLeft");
    expectClose(r.midPLeft, real(row, "bin_midPLeft"), kTiny, largest, "midPLeft");
    // Small right tails come from the complementary distribution, ties of the double tail are
    // decided exactly: both hold to the exact values, relatively.
    expectClose(r.pRight, real(row, "bin_pRight"), kTiny, largest, "pRight");
    expectClose(r.midPRight, real(row, "bin_midPRight"), kTiny, largest, "midPRight");
    expectClose(r.pDoubleTail, real(row, "bin_pDoubleTail"), kTiny, largest, "pDoubleTail");
    expectClose(r.midPDoubleTail, real(row, "bin_midPDoubleTail"), kTiny, largest,
                "midPDoubleTail");

    // A limit whose search met a tail equal to the threshold may land on either neighbour, and
    // its flag is then not checked.
    const auto expectLimit = [&](std::uint32_t actual, const char* column, const char* nearColumn) {
      const auto expected = static_cast<std::int64_t>(count(row, column));
      if (flag(row, nearColumn) != 0) {
        EXPECT_LE(std::abs(static_cast<std::int64_t>(actual) - expected), 1) << column;
      } else {
        EXPECT_EQ(actual, expected) << column;
      }
    };
    expectLimit(r.lowerLimitLeft, "bin_lowerLimitLeft", "bin_nearLeft");
    expectLimit(r.upperLimitRight, "bin_upperLimitRight", "bin_nearRight");
    expectLimit(r.lowerLimitDoubleTail, "bin_lowerLimitDoubleTail", "bin_nearDoubleLeft");
    expectLimit(r.upperLimitDoubleTail, "bin_upperLimitDoubleTail", "bin_nearDoubleRight");
    if (flag(row, "bin_nearLeft") == 0) {
      EXPECT_EQ(r.significantLeft, flag(row, "bin_significantLeft"));
    }
    if (flag(row, "bin_nearRight") == 0) {
      EXPECT_EQ(r.significantRight, flag(row, "bin_significantRight"));
    }
    if (flag(row, "bin_nearDoubleLeft") == 0 && flag(row, "bin_nearDoubleRight") == 0) {
      EXPECT_EQ(r.significantDoubleTail, flag(row, "bin_significantDoubleTail"));
    }
  }
}

TEST(StatsReference, ChiSquareTests) {
  Largest largest{"chi-square"};
  for (const Row& row : tables()) {
    SCOPED_TRACE(describe(row));
    const double threshold = real(row, "threshold");
    const ChiSquareResult r = chiSquareTests(pairOf(row), threshold);
    EXPECT_EQ(r.threshold, threshold);
    EXPECT_EQ(r.warningPearson, flag(row, "chi_warningPearson"));
    EXPECT_EQ(r.warningN1, flag(row, "chi_warningN1"));
    expectClose(r.minExpected, real(row, "chi_minExpected"), 0, largest, "minExpected");
    expectClose(r.chiPearson, real(row, "chi_chiPearson"), 0, largest, "chiPearson");
    expectClose(r.chiYates, real(row, "chi_chiYates"), 0, largest, "chiYates");
    expectClose(r.chiN1, real(row, "chi_chiN1"), 0, largest, "chiN1");
    const struct {
      double p;
      std::int32_t significant;
      const char* name;
    } tests[] = {{r.pPearson, r.significantPearson, "Pearson"},
                 {r.pYates, r.significantYates, "Yates"},
                 {r.pN1, r.significantN1, "N1"}};
    for (const auto& test : tests) {
      const std::string name = test.name;
      const double expected = real(row, "chi_p" + name);
      expectClose(test.p, expected, kTiny, largest, "p" + name);
      expectFlag(test.significant, flag(row, "chi_significant" + name), expected, expected,
                 threshold, "significant" + name);
    }
  }
}

TEST(StatsReference, FisherExactTest) {
  Largest largest{"Fisher"};
  for (const Row& row : tables()) {
    SCOPED_TRACE(describe(row));
    const double threshold = real(row, "threshold");
    const FisherResult r = fisherExactTest(pairOf(row), threshold);
    EXPECT_EQ(r.threshold, threshold);
    // Ties are decided exactly: the tie-sensitive rows hold to their exact values too.
    const double doubleTail = real(row, "fis_pDoubleTail");
    const double midP = real(row, "fis_pMidP");
    expectClose(r.pDoubleTail, doubleTail, kTiny, largest, "pDoubleTail");
    expectClose(r.pMidP, midP, kTiny, largest, "pMidP");
    expectFlag(r.significantDoubleTail, flag(row, "fis_significantDoubleTail"), doubleTail,
               doubleTail, threshold, "significantDoubleTail");
    expectFlag(r.significantMidP, flag(row, "fis_significantMidP"), midP, midP, threshold,
               "significantMidP");
  }
}

TEST(StatsReference, FisherAtTheThreshold) {
  // Threshold 1 on tables whose observed count is the most probable (the double tail takes in
  // every table and is exactly 1, also where a neighbour is exactly as probable), and thresholds
  // on, next to and within 1e-13 of the p-values of tables of 10^5 to 10^7 cases, against 60-digit
  // sums (tests/reference/fisher_threshold.py); every digit of option E within 4e-16.
  const std::vector<Row> rows = readRows("fisher_threshold.csv");
  ASSERT_GE(rows.size(), 50u);
  for (const Row& row : rows) {
    SCOPED_TRACE(describe(row));
    const FisherResult r = fisherExactTest(pairOf(row), real(row, "threshold"));
    const double doubleTail = real(row, "p_doubleTail");
    const double midP = real(row, "p_midP");
    EXPECT_EQ(r.significantDoubleTail, flag(row, "significant_doubleTail"));
    EXPECT_EQ(r.significantMidP, flag(row, "significant_midP"));
    EXPECT_EQ(formatDouble(r.pDoubleTail), formatDouble(doubleTail));
    EXPECT_EQ(formatDouble(r.pMidP), formatDouble(midP));
    EXPECT_NEAR(r.pDoubleTail, doubleTail, 4e-16 * doubleTail);
    EXPECT_NEAR(r.pMidP, midP, 4e-16 * midP);
    if (doubleTail == 1) {
      EXPECT_EQ(r.pDoubleTail, 1.0);
    }
  }
}

TEST(StatsReference, PermutationTest) {
  Largest largest{"permutation"};
  for (const Row& row : tables()) {
    if (row.at("perm_computed") != "1") {
      continue;
    }
    SCOPED_TRACE(describe(row));
    const double threshold = real(row, "threshold");
    std::ostringstream progress;
    const PermutationWeights weights = countPermutationWeights(pairOf(row), progress);
    EXPECT_EQ(weights.extremeWeight, boost::multiprecision::cpp_int(row.at("perm_extremeWeight")));
    EXPECT_EQ(weights.totalWeight, boost::multiprecision::cpp_int(row.at("perm_totalWeight")));
    const PermutationResult r = permutationTest(pairOf(row), threshold, progress);
    EXPECT_EQ(r.threshold, threshold);
    const double expected = real(row, "perm_pValue");
    expectClose(r.pValue, expected, kTiny, largest, "pValue");
    // The flag compares the exact share with the threshold, also where it meets it nearly.
    EXPECT_EQ(r.significant, flag(row, "perm_significant"));
  }
}

TEST(EstimatesReference, ConditionalOddsRatio) {
  Largest largest{"odds ratio, 40 digits"};
  for (const Row& row : readRows("estimates_reference.csv")) {
    SCOPED_TRACE(describe(row));
    const OddsRatioEstimate r = conditionalOddsRatio(pairOf(row));
    ASSERT_EQ(r.estimate.has_value(), !row.at("or_estimate").empty());
    const std::pair<double, const char*> values[] = {
        {r.estimate.value_or(0), "estimate"}, {r.low, "low"}, {r.high, "high"}};
    for (const auto& [actual, name] : values) {
      if (row.at(std::string("or_") + name).empty()) continue;
      const double exact = real(row, std::string("or40_") + name);
      if (exact == 0 || std::isinf(exact)) {
        EXPECT_EQ(actual, exact) << name;
        continue;
      }
      expectClose(actual, exact, 0, largest, name);
      // SciPy stops its roots at an absolute 1e-13.
      const double scipy = real(row, std::string("or_") + name);
      EXPECT_NEAR(actual, scipy, std::max(1e-9 * scipy, 2e-13)) << name;
    }
  }
}

TEST(EstimatesReference, ConditionalOddsRatioOfTheLargestTablesTakesLittleRoom) {
  // Half a billion tables share these margins; the sums visit a few tens of standard deviations
  // of them, and so must the room they keep.
  // The heap's chunks in use and its blocks mapped apart, where large buffers go.
  auto taken = [] {
    const struct mallinfo2 heap = mallinfo2();
    return heap.uordblks + heap.hblkhd;
  };
  const std::size_t before = taken();
  const OddsRatioEstimate r = conditionalOddsRatio(
      PairComparison(1, 1, CountPair{268435455, 536870911}, 2, CountPair{268435455, 536870911}));
  EXPECT_LT(taken(), before + (std::size_t{64} << 20));
  ASSERT_TRUE(r.estimate.has_value());
  EXPECT_NEAR(*r.estimate, 1, 1e-12);
  // The interval is symmetric on the log scale: the tables' distribution is at odds ratio 1.
  EXPECT_NEAR(std::log(r.low), -std::log(r.high), 1e-10);
  EXPECT_NEAR(r.high, 1.00024, 1e-5);
}

TEST(EstimatesReference, NewcombeProportionDifference) {
  for (const Row& row : readRows("estimates_reference.csv")) {
    SCOPED_TRACE(describe(row));
    const ProportionDifference r = proportionDifference(pairOf(row));
    EXPECT_NEAR(r.difference, real(row, "nd_difference"), 1e-12);
    EXPECT_NEAR(r.low, real(row, "nd_low"), 1e-12);
    EXPECT_NEAR(r.high, real(row, "nd_high"), 1e-12);
  }
}

TEST(EstimatesReference, AdjustedPValues) {
  std::map<std::string, std::vector<Row>> families;
  for (const Row& row : readRows("adjusted_p_reference.csv")) {
    families[row.at("family")].push_back(row);
  }
  ASSERT_GE(families.size(), 8u);
  for (const auto& [name, rows] : families) {
    SCOPED_TRACE(name);
    std::vector<double> pValues;
    for (const Row& row : rows) pValues.push_back(real(row, "p"));
    const std::vector<double> holm = holmAdjusted(pValues);
    const std::vector<double> bh = benjaminiHochbergAdjusted(pValues);
    ASSERT_EQ(holm.size(), rows.size());
    ASSERT_EQ(bh.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      EXPECT_NEAR(holm[i], real(rows[i], "holm"), 1e-12 * real(rows[i], "holm")) << i;
      EXPECT_NEAR(bh[i], real(rows[i], "bh"), 1e-12 * real(rows[i], "bh")) << i;
    }
  }
}

// The words of a blank-separated cell.
std::vector<std::string> words(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string word; in >> word;) result.push_back(word);
  return result;
}

// A criterion's counts, "observed/total" per work, as the only criterion of a data set.
DataSet criterionData(const std::string& counts) {
  DataSet data;
  data.threshold = 0.05;
  data.criteria = {{"k", "k", 1}};
  for (const std::string& word : words(counts)) {
    const std::string name = "w" + std::to_string(data.works.size() + 1);
    const std::size_t slash = word.find('/');
    data.works.push_back({name,
                          name,
                          {{static_cast<std::uint32_t>(std::stoul(word.substr(0, slash))),
                            static_cast<std::uint32_t>(std::stoul(word.substr(slash + 1)))}}});
  }
  return data;
}

TEST(FindingsReference, WilsonScoreInterval) {
  for (const Row& row : readRows("wilson_reference.csv")) {
    SCOPED_TRACE(row.at("observed") + "/" + row.at("total"));
    const ScoreInterval r = wilsonScoreInterval(count(row, "observed"), count(row, "total"));
    EXPECT_NEAR(r.low, real(row, "low"), 1e-12);
    EXPECT_NEAR(r.high, real(row, "high"), 1e-12);
  }
}

TEST(FindingsReference, HomogeneityOverAllWorks) {
  for (const Row& row : readRows("homogeneity_reference.csv")) {
    SCOPED_TRACE("criterion " + row.at("criterion") + ": " + row.at("counts"));
    const DataSet data = criterionData(row.at("counts"));
    std::vector<CountPair> counts;
    for (const Work& work : data.works) counts.push_back(work.counts[0]);
    const HomogeneityTest r = homogeneityTest(counts);
    ASSERT_EQ(r.chiSquare.has_value(), !row.at("chi_square").empty());
    if (!r.chiSquare) continue;
    EXPECT_EQ(r.degreesOfFreedom, count(row, "df"));
    const std::pair<double, const char*> values[] = {
        {*r.chiSquare, "chi_square"}, {*r.pValue, "p_value"}, {*r.cramersV, "cramers_v"}};
    for (const auto& [actual, name] : values) {
      const double expected = real(row, name);
      EXPECT_NEAR(actual, expected, 1e-12 * expected + 1e-300) << name;
    }
  }
}

TEST(FindingsReference, LettersAsMultcompViewFindsThem) {
  // The pairs of each criterion carry R's p-values as the main test's; the findings adjust them
  // and find the letters. Letters may be named apart: the works that share each are compared.
  using LetterSets = std::set<std::set<std::uint32_t>>;
  auto letterSets = [](const std::vector<std::string>& letters) {
    std::map<char, std::set<std::uint32_t>> holders;
    for (std::size_t w = 0; w < letters.size(); ++w) {
      if (letters[w] == "-") continue;
      for (char letter : letters[w]) holders[letter].insert(static_cast<std::uint32_t>(w + 1));
    }
    LetterSets sets;
    for (const auto& entry : holders) sets.insert(entry.second);
    return sets;
  };
  std::size_t criteria = 0;
  for (const Row& row : readRows("letters_reference.csv")) {
    SCOPED_TRACE("criterion " + row.at("criterion") + ": " + row.at("counts"));
    const DataSet data = criterionData(row.at("counts"));
    const std::vector<std::string> pValues = words(row.at("p_values"));
    std::vector<PairOutcomes> pairs;
    std::size_t next = 0;
    for (const std::uint32_t workA : workNumbers(data)) {
      for (const std::uint32_t workB : workNumbers(data)) {
        const CountPair a = countPair(data, workA, 1);
        const CountPair b = countPair(data, workB, 1);
        if (workB >= workA || a.total == 0 || b.total == 0) continue;
        PairOutcomes pair{PairComparison(1, workA, a, workB, b), {}};
        ASSERT_LT(next, pValues.size());
        VariantOutcome outcome;
        outcome.pValue = std::strtod(pValues[next++].c_str(), nullptr);
        pair.outcomes[index(Variant::fisherDoubleTail)] = outcome;
        pairs.push_back(pair);
      }
    }
    ASSERT_EQ(next, pValues.size());
    const CriterionFindings findings =
        criterionFindings(mirroredPairs(pairs), 1, data, Variant::fisherDoubleTail);
    std::vector<std::string> ours;
    for (const WorkFinding& work : findings.works) {
      ours.push_back(work.counts.total == 0 ? "-" : work.letters);
    }
    EXPECT_EQ(letterSets(ours), letterSets(words(row.at("letters"))));
    ++criteria;
  }
  EXPECT_GE(criteria, 200u);
}

TEST(StatsReference, SharesOfArrangementsAtAnySize) {
  // The shares behind the fast exact tests, against 60-digit values up to 2^29 cases per work
  // (tests/reference/arrangement_shares.py); values beyond the range of long double read as 0.
  for (const Row& row : readRows("arrangement_shares.csv")) {
    SCOPED_TRACE(row.at("kind") + " " + row.at("total") + " " + row.at("count"));
    const long double expected = std::strtold(row.at("value").c_str(), nullptr);
    const std::uint32_t total = count(row, "total");
    const std::uint32_t occurrences = count(row, "count");
    const BoundedValue share = row.at("kind") == "share" ? arrangementShare(total, occurrences)
                                                         : sharesBelow(total, occurrences);
    EXPECT_LE(std::fabs(share.value - expected), share.error);
    EXPECT_LE(std::fabs(share.value - expected), 1e-15L * expected);
  }
}

}  // namespace
}  // namespace brevox
