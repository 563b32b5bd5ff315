#pragma once

#include <cstdint>
#include <vector>

namespace brevox {

/// The counts k of the second work that are less extreme than the observed table, for one count
/// of the first work: every k of [firstLess, lastLess] plus the single counts in `scattered`.
struct LessExtremeCounts {
  std::int64_t firstLess = 0;
  std::int64_t lastLess = -1;
  std::vector<std::int64_t> scattered;
};

/// What every row of tables is judged against.
struct RowMeasure {
  std::uint32_t totalA = 0;
  std::uint32_t totalB = 0;
  double observed = 0;   // the observed table's statistic
  double sureAbove = 0;  // statistics above this are surely extreme
  double sureBelow = 0;  // statistics below this are surely less extreme
};

/// The measure of the tables of two works with these totals against the observed statistic.
RowMeasure rowMeasure(std::uint32_t totalA, std::uint32_t totalB, double observedStatistic);

/// The less extreme tables of row j, the tables with j occurrences in the first work: every table
/// is judged by permutationStatistic against the observed one, but only those near the ends of
/// the run of less extreme counts are evaluated.
void judgeRow(const RowMeasure& measure, std::uint32_t j, LessExtremeCounts& less);

/// The same for the side of row j below its least extreme count alone: sets less.firstLess and
/// the scattered less extreme tables there, in increasing order.
void judgeLowSideOfRow(const RowMeasure& measure, std::uint32_t j, LessExtremeCounts& less);

}  // namespace brevox
