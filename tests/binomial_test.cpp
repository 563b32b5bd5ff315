#include "stats/binomial.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "io/number_text.h"
#include "stats/printed_digits.h"
#include "tests/test_support.h"

namespace brevox {
namespace {

using tests::table;

struct Table {
  std::vector<double> density, cumulative;
};

Table regenerated(const PairComparison& pair, const BinomialResult& result) {
  Table t;
  BinomialTableCursor cursor = startBinomialTable(pair.totalA, result.successProbability);
  BinomialTableRow row;
  while (nextBinomialRow(cursor, row)) {
    EXPECT_EQ(row.count, t.density.size());
    t.density.push_back(row.density);
    t.cumulative.push_back(row.cumulative);
  }
  return t;
}

TEST(BinomialTest, WorkedTables) {
  // 8 of 10 against 0.5: the right tail holds 56 of 1024 outcomes; 2 and 8 are equally likely.
  const BinomialResult eight = binomialTest(table(8, 10, 5, 10), 0.05);
  EXPECT_DOUBLE_EQ(eight.successProbability, 0.5);
  EXPECT_NEAR(eight.pRight, 56.0 / 1024, 1e-15);
  EXPECT_NEAR(eight.midPRight, 56.0 / 1024 - 0.5 * 45.0 / 1024, 1e-15);
  EXPECT_EQ(eight.upperLimitRight, 8u);
  EXPECT_EQ(eight.significantRight, 0);
  EXPECT_EQ(eight.mode, 5u);
  EXPECT_NEAR(eight.modeDensity, 252.0 / 1024, 1e-15);
  EXPECT_NEAR(eight.observedDensity, 45.0 / 1024, 1e-15);
  EXPECT_EQ(eight.lowerLimitDoubleTail, 2u);
  EXPECT_EQ(eight.upperLimitDoubleTail, 8u);
  EXPECT_EQ(eight.significantDoubleTail, 0);
  EXPECT_NEAR(eight.pDoubleTail, 0.109375, 1e-15);
  EXPECT_NEAR(eight.midPDoubleTail, 0.109375 - 0.5 * 45.0 / 1024, 1e-15);
  const Table eightTable = regenerated(table(8, 10, 5, 10), eight);
  EXPECT_EQ(eightTable.density.size(), 11u);
  EXPECT_EQ(eightTable.cumulative.back(), 1.0);

  // 1 of 10 against 0.5: the left tail holds 11 of 1024 outcomes.
  const BinomialResult one = binomialTest(table(1, 10, 5, 10), 0.05);
  EXPECT_NEAR(one.pLeft, 11.0 / 1024, 1e-15);
  EXPECT_NEAR(one.midPLeft, 11.0 / 1024 - 5.0 / 1024, 1e-15);
  EXPECT_EQ(one.lowerLimitLeft, 2u);
  EXPECT_EQ(one.significantLeft, 1);
  EXPECT_EQ(one.significantRight, 0);
  // Left of the expected count, the far side adds 9 and 10 (as probable as 1 and 0).
  EXPECT_NEAR(one.pDoubleTail, 22.0 / 1024, 1e-15);
  EXPECT_EQ(one.significantDoubleTail, 1);
}

TEST(BinomialTest, DegenerateTables) {
  struct Case {
    std::uint32_t a, nA, b, nB;
    std::vector<double> density, cumulative;
    std::uint32_t mode;
    double pLeft, pRight, pDoubleTail, midPDoubleTail;
    std::uint32_t lowerLeft, upperRight, lowerDouble, upperDouble;
    std::int32_t left, right, doubleTail;
  };
  const std::vector<Case> cases = {
      // A first work without cases: the only outcome is certain.
      {0, 0, 3, 7, {1.0}, {1.0}, 0, 1, 1, 1, 0.5, 0, 0, 0, 0, 0, 0, 0},
      // The second work never shows the feature: any occurrence in the first is significant.
      {3, 4, 0, 10, {1, 0, 0, 0, 0}, {1, 1, 1, 1, 1}, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1},
      {0, 4, 0, 10, {1, 0, 0, 0, 0}, {1, 1, 1, 1, 1}, 0, 1, 1, 1, 0.5, 0, 0, 0, 0, 0, 0, 0},
      // The second work always shows it: any case without it in the first is significant.
      {1, 4, 6, 6, {0, 0, 0, 0, 1}, {0, 0, 0, 0, 1}, 4, 0, 1, 0, 0, 4, 4, 4, 4, 1, 0, 1},
      {4, 4, 6, 6, {0, 0, 0, 0, 1}, {0, 0, 0, 0, 1}, 4, 1, 1, 1, 0.5, 4, 4, 4, 4, 0, 0, 0},
      // One trial at 1/2: both counts equally probable, the lower one is the expected count.
      {1, 1, 1, 2, {0.5, 0.5}, {0.5, 1}, 0, 1, 0.5, 1, 0.75, 0, 1, 0, 1, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << "/" << c.nA << " vs " << c.b << "/" << c.nB);
    const BinomialResult r = binomialTest(table(c.a, c.nA, c.b, c.nB), 0.05);
    const Table t = regenerated(table(c.a, c.nA, c.b, c.nB), r);
    EXPECT_EQ(t.density, c.density);
    EXPECT_EQ(t.cumulative, c.cumulative);
    EXPECT_EQ(r.mode, c.mode);
    EXPECT_EQ(r.observed, c.a);
    EXPECT_EQ(r.pLeft, c.pLeft);
    EXPECT_EQ(r.pRight, c.pRight);
    EXPECT_EQ(r.pDoubleTail, c.pDoubleTail);
    EXPECT_EQ(r.midPDoubleTail, c.midPDoubleTail);
    EXPECT_EQ(r.lowerLimitLeft, c.lowerLeft);
    EXPECT_EQ(r.upperLimitRight, c.upperRight);
    EXPECT_EQ(r.lowerLimitDoubleTail, c.lowerDouble);
    EXPECT_EQ(r.upperLimitDoubleTail, c.upperDouble);
    EXPECT_EQ(r.significantLeft, c.left);
    EXPECT_EQ(r.significantRight, c.right);
    EXPECT_EQ(r.significantDoubleTail, c.doubleTail);
    EXPECT_EQ(r.threshold, 0.05);
  }
}

TEST(BinomialTest, TailsEqualToTheThresholdAreNotSignificant) {
  // Two trials at 1/2: P(X <= 0) = P(X >= 2) = 0.25 exactly, the threshold itself.
  for (std::uint32_t k = 0; k <= 2; ++k) {
    SCOPED_TRACE(k);
    const BinomialResult r = binomialTest(table(k, 2, 1, 2), 0.25);
    EXPECT_EQ(r.lowerLimitLeft, 0u);
    EXPECT_EQ(r.upperLimitRight, 2u);
    EXPECT_EQ(r.lowerLimitDoubleTail, 0u);
    EXPECT_EQ(r.upperLimitDoubleTail, 2u);
    EXPECT_EQ(r.significantLeft, 0);
    EXPECT_EQ(r.significantRight, 0);
    EXPECT_EQ(r.significantDoubleTail, 0);
  }
}

TEST(BinomialTest, ExchangingTheWorksChangesTheQuestion) {
  const BinomialResult forward = binomialTest(table(8, 10, 5, 10), 0.05);
  const BinomialResult backward = binomialTest(table(5, 10, 8, 10), 0.05);
  EXPECT_DOUBLE_EQ(backward.successProbability, 0.8);
  EXPECT_EQ(backward.mode, 8u);
  EXPECT_EQ(backward.observed, 5u);
  // P(X <= 5) for 10 trials at 0.8: (1 + 40 + 720 + 7680 + 53760 + 258048) / 5^10.
  EXPECT_NEAR(backward.pLeft, 320249.0 / 9765625, 1e-15);
  EXPECT_NE(forward.pLeft, backward.pLeft);
  EXPECT_EQ(backward.significantLeft, 1);
}

TEST(BinomialTest, ThresholdOfOneFlagsEveryUncertainCount) {
  // With t = 1 the left limit is the first count whose distribution reaches 1 and the right
  // limit the last whose upper tail is whole: only certainty passes.
  const BinomialResult r = binomialTest(table(5, 10, 5, 10), 1.0);
  EXPECT_EQ(r.lowerLimitLeft, 10u);
  EXPECT_EQ(r.upperLimitRight, 0u);
  EXPECT_EQ(r.significantLeft, 1);
  EXPECT_EQ(r.significantRight, 1);
}

TEST(BinomialTable, SixDigitsOfARangeAreThoseTheStreamPrints) {
  // The digits that every value of a range prints, where the formatter names them: for values at
  // the edges of the decades, of the rounding of six digits and of the fixed notation, below the
  // normal doubles, and for random values of every exponent.
  std::vector<double> values = {1,
                                0.5,
                                9.999995e-5,
                                9.999994e-5,
                                1e-4,
                                0.0001234565,
                                999999.4,
                                999999.6,
                                99999.95,
                                100000,
                                123456.5,
                                1e-5,
                                0.0009765625,
                                4.94e-324,
                                1.2345e-310,
                                2.2250738585072014e-308,
                                1e-300,
                                0.99999951,
                                0.9999994,
                                0.05,
                                1.5e-7};
  std::mt19937_64 generator(20250101u);
  for (int i = 0; i < 20000; ++i) {
    const double mantissa = std::uniform_real_distribution<double>(1, 10)(generator);
    values.push_back(mantissa * std::pow(10.0, static_cast<int>(generator() % 330) - 323));
  }
  std::size_t printed = 0;
  for (const double value : values) {
    if (!(value > 0)) continue;
    SixDigits digits;
    if (!sixDigitsOfRange(value, value, digits)) continue;
    ++printed;
    EXPECT_EQ(std::string(digits.text, digits.size), formatDouble(value)) << value;
  }
  EXPECT_GE(printed, values.size() * 9 / 10);
  // A range across a rounding boundary names no digits; a range from 0 neither.
  SixDigits digits;
  EXPECT_FALSE(sixDigitsOfRange(1.234564e-3L, 1.234566e-3L, digits));
  EXPECT_FALSE(sixDigitsOfRange(0.99999949L, 0.99999951L, digits));
  EXPECT_FALSE(sixDigitsOfRange(9.999994e-5L, 1.0000001e-4L, digits));  // 9.99999e-05 and 0.0001
  EXPECT_TRUE(sixDigitsOfRange(9.999996e-5L, 1.0000001e-4L, digits));   // 0.0001 throughout
  EXPECT_EQ(std::string(digits.text, digits.size), "0.0001");
  EXPECT_FALSE(sixDigitsOfRange(0, 1e-300L, digits));
  EXPECT_TRUE(sixDigitsOfRange(0, 0, digits));
  EXPECT_EQ(std::string(digits.text, digits.size), "0");
}

}  // namespace
}  // namespace brevox
