#include "data/data_set.h"

#include <gtest/gtest.h>

#include "data/built_in_data.h"

namespace brevox {
namespace {

TEST(BuiltInData, HoldsNineWorksAndSixCriteria) {
  const DataSet data = builtInDataSet();
  EXPECT_EQ(data.workShortNames.size(), 9u);
  EXPECT_EQ(data.criterionShortNames.size(), 6u);
  EXPECT_EQ(workLongName(data, 6), "H. Delian Ap.");
  EXPECT_EQ(criterionLongName(data, 2), "A-stem genitive singular");
  EXPECT_EQ(countPair(data, 7, 2), (CountPair{0, 0}));
  EXPECT_EQ(countPair(data, 1, 1), (CountPair{312, 1810}));
  EXPECT_EQ(direction(data, 1), 1);
  EXPECT_EQ(direction(data, 6), -1);
  EXPECT_EQ(data.threshold, 0.05);
}

TEST(DataSet, AbsentKeysReadAsEmpty) {
  const DataSet data = builtInDataSet();
  EXPECT_EQ(workShortName(data, 0), "");
  EXPECT_EQ(criterionShortName(data, 7), "");
  EXPECT_EQ(countPair(data, 10, 1), (CountPair{0, 0}));
  EXPECT_EQ(countPair(data, 1, 7), (CountPair{0, 0}));
  EXPECT_EQ(direction(data, 7), 0);
}

TEST(DataSet, ProcessDataSetStartsWithBuiltInData) { EXPECT_TRUE(dataSet() == builtInDataSet()); }

}  // namespace
}  // namespace brevox
