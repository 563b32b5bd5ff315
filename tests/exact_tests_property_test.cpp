#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "data/data_set.h"
#include "io/number_text.h"
#include "stats/fisher_sum_internal.h"
#include "stats/multiprecision.h"
#include "stats/pair_comparison.h"
#include "stats/permutation.h"
#include "stats/permutation_count.h"
#include "tests/oracles/literal_binomial.h"
#include "tests/oracles/literal_exact_tests.h"

namespace brevox {
namespace {

struct Table {
  std::uint32_t a;
  std::uint32_t nA;
  std::uint32_t b;
  std::uint32_t nB;
};

std::string describe(const Table& t) {
  return std::to_string(t.a) + "/" + std::to_string(t.nA) + " vs " + std::to_string(t.b) + "/" +
         std::to_string(t.nB);
}

PairComparison comparison(const Table& t) { return {1, 1, {t.a, t.nA}, 2, {t.b, t.nB}}; }

// Seeded random tables of the kinds that stress the shortcuts: equal proportions (ties between
// mirrored tables), no occurrence or no non-occurrence at all, one work far larger than the
// other, proportions of exactly 1/2, 1/3 or 1/4, totals of at most 10, two equal works, and plain
// random counts. Totals run from `smallestTotal` to 80.
std::vector<Table> randomTables(std::uint32_t smallestTotal, std::size_t howMany) {
  std::mt19937 generator(20240611u + smallestTotal);
  auto uniform = [&](std::uint32_t low, std::uint32_t high) {
    return std::uniform_int_distribution<std::uint32_t>(low, high)(generator);
  };
  std::vector<Table> tables;
  while (tables.size() < howMany) {
    Table t{0, uniform(smallestTotal, 80), 0, uniform(smallestTotal, 80)};
    switch (tables.size() % 9) {
      case 0: {  // equal proportions
        const std::uint32_t unit = uniform(std::max(smallestTotal, 1u), 20);
        t.nA = unit * uniform(1, 4);
        t.nB = unit * uniform(1, 4);
        const std::uint32_t part = uniform(0, unit);
        t.a = part * (t.nA / unit);
        t.b = part * (t.nB / unit);
        break;
      }
      case 1:  // no occurrence at all
        break;
      case 2:  // no non-occurrence at all
        t.a = t.nA;
        t.b = t.nB;
        break;
      case 3:  // one work far larger than the other
        t.nA = uniform(smallestTotal, 3);
        t.nB = uniform(60, 80);
        t.a = uniform(0, t.nA);
        t.b = uniform(0, t.nB);
        if (uniform(0, 1) == 1) t = Table{t.b, t.nB, t.a, t.nA};
        break;
      case 4: {  // proportions of exactly 1/2, 1/3 or 1/4
        const std::uint32_t partsA = uniform(2, 4);
        const std::uint32_t partsB = uniform(2, 4);
        t = Table{uniform(1, 20), 0, uniform(1, 20), 0};
        t.nA = t.a * partsA;
        t.nB = t.b * partsB;
        break;
      }
      case 5:  // small totals
        t.nA = uniform(std::max(smallestTotal, 1u), 10);
        t.nB = uniform(smallestTotal, 10);
        t.a = uniform(0, t.nA);
        t.b = uniform(0, t.nB);
        break;
      case 6:  // equal works
        t.a = t.b = uniform(0, t.nA);
        t.nB = t.nA;
        break;
      default:
        t.a = uniform(0, t.nA);
        t.b = uniform(0, t.nB);
        break;
    }
    tables.push_back(t);
  }
  return tables;
}

void expectSameWeights(const Table& t) {
  std::ostringstream fastDots;
  std::ostringstream literalDots;
  const PermutationWeights fast = countPermutationWeights(comparison(t), fastDots);
  const PermutationWeights literal = oracle::literalPermutationWeights(comparison(t), literalDots);
  EXPECT_EQ(fast.extremeWeight, literal.extremeWeight) << describe(t);
  EXPECT_EQ(fast.totalWeight, literal.totalWeight) << describe(t);
  EXPECT_EQ(fastDots.str(), literalDots.str()) << describe(t);
}

// The floating sum of shares holds the exact quotient of the counts within its bound, and the test
// prints the six digits and decides the flag of that quotient, also at thresholds on and next to
// it, with every dot.
void expectExactDigits(const Table& t) {
  using Quotient = boost::multiprecision::cpp_bin_float_100;
  std::ostringstream ignored;
  const PermutationWeights weights = countPermutationWeights(comparison(t), ignored);
  const Quotient quotient = Quotient(weights.extremeWeight) / Quotient(weights.totalWeight);
  const double exact = quotient.convert_to<double>();
  if (permutationStatistic(t.a, t.nA, t.b, t.nB) > 0) {
    ProgressDots dots = progressDots(ignored, t.nA);
    const PermutationShare share = sumPermutationShares(comparison(t), dots);
    EXPECT_LE(std::fabs(share.value - quotient.convert_to<long double>()), share.error)
        << describe(t);
  }
  for (const double threshold : {0.05, exact, std::nextafter(exact, 1.0)}) {
    std::ostringstream dots;
    const PermutationResult result = permutationTest(comparison(t), threshold, dots);
    EXPECT_EQ(formatDouble(result.pValue), formatDouble(exact)) << describe(t);
    EXPECT_EQ(result.significant, quotient < Quotient(threshold) ? 1 : 0) << describe(t);
    EXPECT_EQ(dots.str(), std::string(t.nA / 10 + 1, '.')) << describe(t);
  }
}

// Within 4e-16 of the exact value, relatively, as the tables of option E print it.
void expectFullDigits(double actual, double exact, const std::string& what) {
  EXPECT_LE(std::fabs(actual - exact), 4e-16 * exact) << what << ": " << actual << " for " << exact;
}

// Fisher's sum adds the tables that whole numbers add, and its p-values stand for the exact ones:
// their six digits, their flags, and all their digits within 4e-16.
void expectExactFisher(const Table& t, double threshold) {
  AddedTables fastAdded;
  const FisherResult fast = sumFisherTables(comparison(t), threshold, &fastAdded);
  const AddedTables exactAdded = oracle::exactAddedTables(comparison(t));
  EXPECT_EQ(oracle::everyAddedTable(fastAdded, comparison(t)),
            oracle::everyAddedTable(exactAdded, comparison(t)))
      << describe(t);
  const FisherResult exact = oracle::exactFisherTest(comparison(t), threshold, exactAdded);
  EXPECT_EQ(fast.significantDoubleTail, exact.significantDoubleTail) << describe(t);
  EXPECT_EQ(fast.significantMidP, exact.significantMidP) << describe(t);
  EXPECT_EQ(fast.threshold, threshold);
  EXPECT_EQ(formatDouble(fast.pDoubleTail), formatDouble(exact.pDoubleTail)) << describe(t);
  EXPECT_EQ(formatDouble(fast.pMidP), formatDouble(exact.pMidP)) << describe(t);
  expectFullDigits(fast.pDoubleTail, exact.pDoubleTail, describe(t));
  expectFullDigits(fast.pMidP, exact.pMidP, describe(t));
}

TEST(PermutationCount, MatchesTheTableByTableCount) {
  for (const Table& t : randomTables(1, 2400)) expectSameWeights(t);
}

TEST(PermutationCount, MatchesTheTableByTableCountOnLargeTables) {
  // Larger tables, with their observed statistic near 0, moderate, and extreme.
  const Table large[] = {
      {180, 1010, 190, 1020}, {0, 900, 3, 1100}, {400, 1000, 12, 40}, {1, 3, 2100, 2500}};
  for (const Table& t : large) {
    expectSameWeights(t);
    expectExactDigits(t);
  }
}

TEST(PermutationShare, GivesTheDigitsAndFlagOfTheExactCount) {
  for (const Table& t : randomTables(1, 10000)) expectExactDigits(t);
}

TEST(PermutationCount, KnownCounts) {
  // Counted by hand or with exact rational arithmetic.
  struct Case {
    Table table;
    std::uint64_t extreme;
    std::uint64_t total;
  };
  const Case cases[] = {
      {{2, 3, 0, 3}, 14, 64},            // statistic 3.0
      {{8, 10, 2, 10}, 12392, 1048576},  // statistic 7.2
      {{0, 3, 0, 3}, 28, 64},  // no occurrence: statistic 1.0, as the all-occurrence table
      {{5, 10, 5, 10}, 1048576, 1048576},  // statistic 0, every table counts
  };
  for (const Case& c : cases) {
    std::ostringstream dots;
    const PermutationWeights weights = countPermutationWeights(comparison(c.table), dots);
    EXPECT_EQ(weights.extremeWeight, c.extreme) << describe(c.table);
    EXPECT_EQ(weights.totalWeight, c.total) << describe(c.table);
  }
  std::ostringstream dots;
  countPermutationWeights(comparison({3, 25, 4, 7}), dots);
  EXPECT_EQ(dots.str(), "...");
}

TEST(FisherSum, AddsTheTablesOfTheExactSum) {
  for (const Table& t : randomTables(0, 10000)) {
    if (t.nA == 0 && t.nB == 0) continue;
    expectExactFisher(t, 0.05);
  }
}

TEST(FisherSum, AddsTheTablesOfTheExactSumOnLargeTables) {
  const Table large[] = {{312, 1810, 303, 1694},
                         {0, 1000, 1000, 1000},
                         {60, 1000, 240, 1000},
                         {3, 2500, 2400, 2600},
                         {1200, 3000, 1190, 3100}};
  for (const Table& t : large) expectExactFisher(t, 0.05);
}

TEST(FisherSum, DecidesAtThresholdsOnTheExactPValues) {
  // A threshold equal to an exact p-value rounded to double, or one double away, is decided by
  // that double, whose six digits the test prints.
  const Table tables[] = {
      {2, 10, 8, 12}, {14, 23, 20, 35}, {30, 89, 55, 145}, {312, 1810, 240, 1694}};
  for (const Table& t : tables) {
    const FisherResult exact =
        oracle::exactFisherTest(comparison(t), 0.05, oracle::exactAddedTables(comparison(t)));
    for (const bool midP : {false, true}) {
      const double p = midP ? exact.pMidP : exact.pDoubleTail;
      for (const double threshold : {p, std::nextafter(p, 0.0), std::nextafter(p, 1.0)}) {
        const FisherResult fast = sumFisherTables(comparison(t), threshold);
        const double value = midP ? fast.pMidP : fast.pDoubleTail;
        EXPECT_EQ(formatDouble(value), formatDouble(p)) << describe(t);
        expectFullDigits(value, p, describe(t));
        EXPECT_EQ(fast.significantDoubleTail, threshold > exact.pDoubleTail ? 1 : 0) << describe(t);
        EXPECT_EQ(fast.significantMidP, threshold > exact.pMidP ? 1 : 0) << describe(t);
      }
    }
  }
}

TEST(FisherSum, KnownValues) {
  // From exact rational arithmetic.
  struct Case {
    Table table;
    double pDoubleTail;
    double pMidP;
  };
  const Case cases[] = {
      {{2, 10, 8, 12}, 0.0427312625, 0.0255077740},
      {{0, 5, 0, 7}, 1.0, 0.5},
  };
  for (const Case& c : cases) {
    const FisherResult result = sumFisherTables(comparison(c.table), 0.05);
    EXPECT_NEAR(result.pDoubleTail, c.pDoubleTail, 1e-9) << describe(c.table);
    EXPECT_NEAR(result.pMidP, c.pMidP, 1e-9) << describe(c.table);
  }
}

TEST(BinomialTest, MatchesTheCountByCountTest) {
  // Seeded tables of the kinds where the last bits decide: proportions of exactly 1/2, 1/3 and
  // 1/4 (mirrored and neighbouring densities tie), totals of 1 to 10, equal works, no occurrence
  // or only occurrences in the second work; each tested at a random count, at the expected
  // count and on both sides of every limit, and at thresholds equal to a tail.
  DataSet data;
  data.works = {{"", "A", {}}, {"", "B", {}}};
  data.criteria = {{"", "C", 0}};
  std::mt19937 generator(20240612u);
  auto uniform = [&](std::uint32_t low, std::uint32_t high) {
    return std::uniform_int_distribution<std::uint32_t>(low, high)(generator);
  };
  std::size_t tables = 0;
  for (std::size_t base = 0; base < 1600; ++base) {
    Table t{0, uniform(1, 10), 0, uniform(1, 10)};
    switch (base % 6) {
      case 0: {  // a proportion of 1/2, 1/3 or 1/4
        const std::uint32_t parts = uniform(2, 4);
        t.nB = parts * uniform(1, 20);
        t.b = t.nB / parts;
        t.nA = uniform(1, 50);
        break;
      }
      case 1:  // equal works
        t.nA = t.nB = uniform(1, 40);
        t.b = uniform(0, t.nB);
        break;
      case 2:  // small totals
        t.b = uniform(0, t.nB);
        break;
      case 3:  // no occurrence or only occurrences in the second work
        t.nA = uniform(1, 40);
        t.b = uniform(0, 1) == 1 ? t.nB : 0;
        break;
      default:
        t.nA = uniform(1, 60);
        t.nB = uniform(1, 60);
        t.b = uniform(0, t.nB);
        break;
    }
    const double p = static_cast<double>(t.b) / t.nB;
    const oracle::LiteralBinomial literal =
        oracle::literalBinomialTest(comparison({uniform(0, t.nA), t.nA, t.b, t.nB}), 0.05);
    const BinomialResult& r = literal.result;
    const double tail = literal.cumulative[uniform(0, t.nA)];
    const double thresholds[] = {0.05, base % 5 == 0 ? 1.0 : 0.01, tail, 2 * tail, 1 - tail};
    const std::uint32_t counts[] = {r.observed,
                                    static_cast<std::uint32_t>((t.nA + 1) * p),
                                    r.mode,
                                    r.lowerLimitDoubleTail,
                                    r.upperLimitDoubleTail,
                                    r.lowerLimitLeft,
                                    r.upperLimitRight};
    for (const std::uint32_t count : counts) {
      for (const std::uint32_t k : {count - 1, count, count + 1}) {
        if (k > t.nA) continue;
        const Table tested{k, t.nA, t.b, t.nB};
        const double threshold = thresholds[tables % 5];
        if (!(threshold > 0 && threshold <= 1)) continue;
        ++tables;
        EXPECT_EQ(oracle::binomialDifference(comparison(tested), threshold, data), "")
            << describe(tested) << " at " << threshold;
      }
    }
  }
  EXPECT_GE(tables, 10000u);
}

}  // namespace
}  // namespace brevox
