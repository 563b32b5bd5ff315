#include "data/data_set.h"

#include <gtest/gtest.h>

#include "data/built_in_data.h"

namespace brevox {
namespace {

TEST(BuiltInData, HoldsNineWorksAndSixCriteria) {
  const DataSet data = builtInDataSet();
  EXPECT_EQ(data.works.size(), 9u);
  EXPECT_EQ(data.criteria.size(), 6u);
  EXPECT_EQ(workLongName(data, 6), "H. Delian Ap.");
  EXPECT_EQ(criterionLongName(data, 2), "A-stem genitive singular");
  EXPECT_EQ(countPair(data, 7, 2), (CountPair{0, 0}));
  EXPECT_EQ(countPair(data, 1, 1), (CountPair{312, 1810}));
  EXPECT_EQ(direction(data, 1), 1);
  EXPECT_EQ(direction(data, 6), -1);
  EXPECT_EQ(data.threshold, 0.05);
}

TEST(DataSet, NumbersOutsideTheDataSetAreNoWorkOrCriterion) {
  const DataSet data = builtInDataSet();
  EXPECT_FALSE(hasWork(data, 0));
  EXPECT_FALSE(hasCriterion(data, 7));
  EXPECT_FALSE(hasWork(data, 10));
  EXPECT_TRUE(hasWork(data, 9) && hasCriterion(data, 6));
  EXPECT_DEATH(countPair(data, 1, 7), "criterion n. 7 outside the data set");
}

}  // namespace
}  // namespace brevox
