#include "stats/chi_square.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/test_support.h"

namespace brevox {
namespace {

using tests::table;

void expectRelative(double actual, double expected, double tolerance) {
  EXPECT_NEAR(actual, expected, tolerance * std::abs(expected)) << "expected " << expected;
}

TEST(ChiSquareTests, WorkedTables) {
  struct Case {
    std::uint32_t a, nA, b, nB;
    double minExpected;
    std::int32_t warningPearson, warningN1;
    double chiPearson, chiYates, chiN1;
    // p-values as SciPy's chi2.sf(x, 1) gives them
    double pPearson, pYates, pN1;
    std::int32_t flags;
  };
  const std::vector<Case> cases = {
      {10, 20, 20, 20, 5, 0, 0, 40.0 / 3, 10.8, 13.0, 2.607296328553165e-4, 1.0150009471130682e-3,
       3.114909767673841e-4, 1},
      // Every deviation is 5/21, below 0.25: the uncorrected Yates term outgrows Pearson's.
      {5, 10, 6, 11, 100.0 / 21, 1, 0, 21.0 / 484, 0.0525, 21.0 / 484 * 20 / 21, 0.8349955942110459,
       0.818768821520624, 0.8389170410802198, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << "/" << c.nA << " vs " << c.b << "/" << c.nB);
    for (const bool swapped : {false, true}) {
      const ChiSquareResult r = swapped ? chiSquareTests(table(c.b, c.nB, c.a, c.nA), 0.05)
                                        : chiSquareTests(table(c.a, c.nA, c.b, c.nB), 0.05);
      expectRelative(r.minExpected, c.minExpected, 1e-12);
      EXPECT_EQ(r.warningPearson, c.warningPearson);
      EXPECT_EQ(r.warningN1, c.warningN1);
      expectRelative(r.chiPearson, c.chiPearson, 1e-12);
      expectRelative(r.chiYates, c.chiYates, 1e-12);
      expectRelative(r.chiN1, c.chiN1, 1e-12);
      expectRelative(r.pPearson, c.pPearson, 1e-9);
      expectRelative(r.pYates, c.pYates, 1e-9);
      expectRelative(r.pN1, c.pN1, 1e-9);
      EXPECT_EQ(r.significantPearson, c.flags);
      EXPECT_EQ(r.significantYates, c.flags);
      EXPECT_EQ(r.significantN1, c.flags);
      EXPECT_EQ(r.threshold, 0.05);
    }
  }
}

TEST(ChiSquareTests, WarningLevelsAtTheirBounds) {
  struct Case {
    std::uint32_t a, nA, b, nB;
    double minExpected;
    std::int32_t warningPearson, warningN1;
  };
  const std::vector<Case> cases = {
      {1, 10, 1, 10, 1, 1, 0},    // an expected count of exactly 1 is enough for N-1
      {0, 10, 1, 10, 0.5, 1, 1},  // half a case is not
      {5, 10, 5, 10, 5, 0, 0},    // exactly 5 is enough for Pearson's
      {4, 10, 5, 10, 4.5, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << "/" << c.nA << " vs " << c.b << "/" << c.nB);
    const ChiSquareResult r = chiSquareTests(table(c.a, c.nA, c.b, c.nB), 0.05);
    EXPECT_EQ(r.minExpected, c.minExpected);
    EXPECT_EQ(r.warningPearson, c.warningPearson);
    EXPECT_EQ(r.warningN1, c.warningN1);
  }
}

TEST(ChiSquareTests, EmptyExpectedCellGivesNoPValue) {
  struct Case {
    std::uint32_t a, nA, b, nB;
    bool yatesInfinite;
  };
  const std::vector<Case> cases = {
      {0, 5, 0, 7, true},                       // no occurrence in either work
      {5, 5, 7, 7, true},                       // every case is an occurrence
      {0, 0, 3, 7, true},                       // the first work has no case
      {3, 7, 0, 0, true}, {0, 0, 0, 0, false},  // no case at all: every expected count is 0/0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << "/" << c.nA << " vs " << c.b << "/" << c.nB);
    const ChiSquareResult r = chiSquareTests(table(c.a, c.nA, c.b, c.nB), 0.01);
    EXPECT_EQ(r.warningPearson, 2);
    EXPECT_EQ(r.warningN1, 2);
    EXPECT_EQ(r.minExpected, 0.0);
    EXPECT_TRUE(std::isnan(r.chiPearson));
    EXPECT_TRUE(std::isnan(r.chiN1));
    if (c.yatesInfinite) {
      EXPECT_TRUE(std::isinf(r.chiYates));
    } else {
      EXPECT_TRUE(std::isnan(r.chiYates));
    }
    EXPECT_TRUE(std::isnan(r.pPearson));
    EXPECT_TRUE(std::isnan(r.pYates));
    EXPECT_TRUE(std::isnan(r.pN1));
    EXPECT_EQ(r.significantPearson, 0);
    EXPECT_EQ(r.significantYates, 0);
    EXPECT_EQ(r.significantN1, 0);
    EXPECT_EQ(r.threshold, 0.01);
  }
}

}  // namespace
}  // namespace brevox
