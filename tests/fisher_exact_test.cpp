#include "stats/fisher_exact.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "stats/exact_ties.h"
#include "stats/fisher_tables.h"
#include "stats/multiprecision.h"
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

// The sign of f(x) - f(y) for two tables of the margins, from whole numbers: the arrangements
// choose(r, x) choose(N - r, n - x) of each, as products of the neighbours' ratios between them.
int exactSign(const FisherTables& t, std::uint32_t x, std::uint32_t y) {
  using boost::multiprecision::cpp_int;
  const std::uint32_t low = std::min(x, y);
  const std::uint32_t high = std::max(x, y);
  cpp_int up = 1;  // f(high) / f(low) = up / down
  cpp_int down = 1;
  for (std::uint32_t j = low; j < high; ++j) {
    up *= cpp_int(t.r - j) * (t.n - j);
    down *= cpp_int(j + 1) * static_cast<std::uint64_t>(t.rest + j + 1);
  }
  const int sign = up < down ? 1 : (up > down ? -1 : 0);  // of f(low) - f(high)
  return x <= y ? sign : -sign;
}

TEST(FisherExactTest, ProbabilitiesComparedExactlyFarApart) {
  // Tables more than 2,048 counts apart are told apart by their logarithms at 50 digits, nearer
  // ones by their products; the mirrored tables of two works with as many cases are equal.
  struct Case {
    std::uint32_t a, nA, b, nB;
    std::int64_t x, y;  // offsets from the most probable table
  };
  const Case cases[] = {
      {250000, 1000000, 260000, 1200000, -2100, 2100},  // nearly mirrored, unequal
      {250000, 1000000, 260000, 1200000, -2500, 2400},
      {400000, 1000000, 400000, 1000000, -3000, 3000},  // mirrored: equal
      {400000, 1000000, 400000, 1000000, -3000, 3001},
      {30000, 90000, 31000, 91000, -1000, 1000},
      {3000, 6000, 2000, 6001, -2049, 2049},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << "/" << c.nA << " vs " << c.b << "/" << c.nB);
    const FisherTables t = fisherTables(table(c.a, c.nA, c.b, c.nB));
    const auto x = static_cast<std::uint32_t>(t.mode + c.x);
    const auto y = static_cast<std::uint32_t>(t.mode + c.y);
    EXPECT_EQ(compareTables(t, x, y), exactSign(t, x, y)) << x << " against " << y;
    EXPECT_EQ(compareTables(t, y, x), -exactSign(t, x, y));
  }
  // The binomial counts likewise, at the success probability successes / cases exactly.
  struct Counts {
    std::uint32_t trials, successes, cases, i, k;
  };
  const Counts counts[] = {{100000, 1, 2, 47000, 53000},  // mirrored at one half
                           {100000, 1, 3, 30000, 36700},
                           {100000, 1, 3, 30000, 36600},
                           {20000, 2, 5, 7000, 9100}};
  for (const Counts& c : counts) {
    SCOPED_TRACE(testing::Message() << c.i << " and " << c.k << " of " << c.trials);
    using boost::multiprecision::cpp_int;
    cpp_int up = 1;  // P(k) / P(i) = up / down
    cpp_int down = 1;
    for (std::uint32_t j = c.i; j < c.k; ++j) {
      up *= cpp_int(c.trials - j) * c.successes;
      down *= cpp_int(j + 1) * (c.cases - c.successes);
    }
    const int sign = up < down ? 1 : (up > down ? -1 : 0);
    EXPECT_EQ(compareCounts(c.trials, c.successes, c.cases, c.i, c.k), sign);
  }
}

}  // namespace
}  // namespace brevox
