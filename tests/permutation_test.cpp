#include "stats/permutation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "stats/chi_square.h"
#include "stats/permutation_count.h"
#include "tests/test_support.h"

namespace brevox {
namespace {

using tests::table;

TEST(PermutationTest, WorkedTables) {
  struct Case {
    std::uint32_t a, nA, b, nB;
    std::uint64_t extremeWeight, totalWeight;
    double pValue;
    std::int32_t significant;
  };
  const std::vector<Case> cases = {
      {2, 3, 0, 3, 14, 64, 0.21875, 0},
      {8, 10, 2, 10, 12392, 1048576, 12392.0 / 1048576, 1},
      // No occurrence at all: the table where every case is one shares the statistic 1.0.
      {0, 3, 0, 3, 28, 64, 0.4375, 0},
      {5, 10, 5, 10, 1048576, 1048576, 1.0, 0},
      {1, 1, 0, 1, 2, 4, 0.5, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << "/" << c.nA << " vs " << c.b << "/" << c.nB);
    for (const bool swapped : {false, true}) {
      const PairComparison pair =
          swapped ? table(c.b, c.nB, c.a, c.nA) : table(c.a, c.nA, c.b, c.nB);
      std::ostringstream progress;
      const PermutationWeights weights = countPermutationWeights(pair, progress);
      EXPECT_EQ(weights.extremeWeight, c.extremeWeight);
      EXPECT_EQ(weights.totalWeight, c.totalWeight);
      const PermutationResult r = permutationTest(pair, 0.05, progress);
      EXPECT_EQ(r.pValue, c.pValue);
      EXPECT_EQ(r.significant, c.significant);
      EXPECT_EQ(r.threshold, 0.05);
    }
  }
}

TEST(PermutationTest, AllArrangementsAddUpToTwoToTheNumberOfCases) {
  for (const auto& [nA, nB] :
       std::vector<std::pair<std::uint32_t, std::uint32_t>>{{1, 1}, {7, 3}, {40, 61}, {150, 130}}) {
    std::ostringstream progress;
    const PermutationWeights weights =
        countPermutationWeights(table(nA / 3, nA, nB / 2, nB), progress);
    EXPECT_EQ(weights.totalWeight, boost::multiprecision::cpp_int(1) << (nA + nB));
    EXPECT_LE(weights.extremeWeight, weights.totalWeight);
  }
}

TEST(PermutationTest, WritesADotForEveryTenCountsOfTheFirstWork) {
  const std::vector<std::pair<std::uint32_t, std::string>> cases = {
      {1, "."}, {9, "."}, {10, ".."}, {25, "..."}, {30, "...."}};
  for (const auto& [nA, dots] : cases) {
    std::ostringstream progress;
    permutationTest(table(0, nA, 1, 4), 0.05, progress);
    EXPECT_EQ(progress.str(), dots) << "nA = " << nA;
  }
}

TEST(PermutationStatistic, EmptyMarginsCountAsOne) {
  EXPECT_EQ(permutationStatistic(0, 3, 0, 5), 1.0);
  EXPECT_EQ(permutationStatistic(3, 3, 5, 5), 1.0);
  EXPECT_EQ(permutationStatistic(3, 6, 4, 8), 0.0);
  EXPECT_EQ(permutationStatistic(2, 3, 0, 3), 3.0);
  EXPECT_EQ(permutationStatistic(8, 10, 2, 10), 7.2);
}

TEST(PermutationStatistic, IsTheRoundedQuotientAtAnySize) {
  // Expected values: Python's float(N * t * t) / float(nA * nB * M * O) on exact integers, which
  // rounds each product once; Pearson's statistic in doubles agrees to 1e-9.
  struct Case {
    std::uint32_t a, nA, b, nB;
    double statistic;
  };
  const std::vector<Case> cases = {
      {312, 1810, 303, 1694, 0.25476684145278183},
      {9000, 10000, 1000, 10000, 12800.0},  // fits in 64 bits
      {20000, 20000, 0, 20000, 40000.0},    // needs more than 64 bits
      {1, 100000, 99999, 100000, 199992.00008000003},
      {1000000000, 2000000000, 1, 2000000000, 1333333329.7777777},  // needs more than 128 bits
      {2147483647, 2147483647, 0, 2147483647, 4294967294.0},
      {12345, 2147483647, 2147483000, 2147483647, 4294915326.2846437},
      {123456789, 2147483647, 987654321, 2147483000, 906724108.4539878},
      // Products whose bits beyond the 64 kept ones decide the rounding.
      {14193125, 14256101, 12231416, 15201161, 2904351.149364357},
      {77316, 4359161, 6229976, 7315878, 7646286.776616724},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << "/" << c.nA << " vs " << c.b << "/" << c.nB);
    const double statistic = permutationStatistic(c.a, c.nA, c.b, c.nB);
    EXPECT_EQ(statistic, c.statistic);
    EXPECT_EQ(permutationStatistic(c.b, c.nB, c.a, c.nA), statistic);
    const double pearson = chiSquareTests(table(c.a, c.nA, c.b, c.nB), 0.05).chiPearson;
    EXPECT_NEAR(statistic, pearson, 1e-9 * pearson);
  }
}

TEST(PermutationStatistic, MatchesTheSixtyFourBitProductsWhereTheyFit) {
  // N t^2 and nA nB M O rounded once each: exactly the doubles of 64-bit integer products. The
  // second table is the most extreme one of 10,000 cases, the third has more cases yet fits.
  const std::vector<std::vector<std::int64_t>> cases = {
      {312, 1810, 303, 1694}, {4999, 5000, 1, 5000}, {10, 15000, 12, 15000}, {1, 3, 2, 7}};
  for (const auto& c : cases) {
    const std::int64_t a = c[0], nA = c[1], b = c[2], nB = c[3];
    const std::int64_t n = nA + nB;
    const std::int64_t t = a * (nB - b) - b * (nA - a);
    const double expected = static_cast<double>(n * t * t) /
                            static_cast<double>(nB * nA * ((nA - a) + (nB - b)) * (a + b));
    EXPECT_EQ(permutationStatistic(static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(nA),
                                   static_cast<std::uint32_t>(b), static_cast<std::uint32_t>(nB)),
              expected);
  }
}

}  // namespace
}  // namespace brevox
