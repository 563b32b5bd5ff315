#include "stats/fisher_exact.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/test_support.h"

namespace brevox {
namespace {

using tests::table;

TEST(FisherExactTest, WorkedTables) {
  struct Case {
    std::uint32_t a, nA, b, nB;
    double pDoubleTail, pMidP;
    std::int32_t doubleTail, midP;
  };
  const std::vector<Case> cases = {
      // The table with 7 occurrences in the first work (0.0408) is more probable than the
      // observed one (0.0344) and stays out.
      {2, 10, 8, 12, 0.04273126254550403, 0.025507773959786345, 1, 1},
      // The observed table is the most probable: every table counts.
      {3, 10, 3, 10, 1.0, 1.0 - 0.5 * 14400 / 38760, 0, 0},
      // Without occurrences, or without non-occurrences, only the observed table exists.
      {0, 5, 0, 7, 1.0, 0.5, 0, 0},
      {5, 5, 7, 7, 1.0, 0.5, 0, 0},
      // Twelve occurrences in fourteen cases leave the first work at least ten of its twelve.
      {10, 12, 2, 2, 1.0, 1.0 - 0.5 * 66 / 91, 0, 0},
      {11, 12, 1, 2, 25.0 / 91, 25.0 / 91 - 0.5 * 24 / 91, 0, 0},
      // A table exactly as probable as the observed one counts.
      {0, 1, 1, 1, 1.0, 0.75, 0, 0},
      {2, 3, 0, 3, 0.4, 0.3, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << "/" << c.nA << " vs " << c.b << "/" << c.nB);
    for (const bool swapped : {false, true}) {
      const FisherResult r = swapped ? fisherExactTest(table(c.b, c.nB, c.a, c.nA), 0.05)
                                     : fisherExactTest(table(c.a, c.nA, c.b, c.nB), 0.05);
      EXPECT_NEAR(r.pDoubleTail, c.pDoubleTail, 1e-9 * c.pDoubleTail);
      EXPECT_NEAR(r.pMidP, c.pMidP, 1e-9 * c.pMidP);
      EXPECT_EQ(r.significantDoubleTail, c.doubleTail);
      EXPECT_EQ(r.significantMidP, c.midP);
      EXPECT_EQ(r.threshold, 0.05);
    }
  }
}

TEST(FisherExactTest, FlagsCompareStrictlyWithTheThreshold) {
  // A threshold equal to the p-value is not significant; one just above it is.
  const FisherResult r = fisherExactTest(table(0, 5, 0, 7), 1.0);
  EXPECT_EQ(r.significantDoubleTail, 0);
  EXPECT_EQ(r.significantMidP, 1);
}

}  // namespace
}  // namespace brevox
