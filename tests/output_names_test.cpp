#include "report/output_names.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>

namespace brevox {
namespace {

// Every report name of every pair, with the number of reports that bear it.
std::map<std::string, int> reportNames(const DataSet& data) {
  std::map<std::string, int> names;
  for (const auto& criterion : data.criterionShortNames) {
    for (const auto& workA : data.workShortNames) {
      for (const auto& workB : data.workShortNames) {
        if (workA.first != workB.first) {
          ++names[criterion.second + "_" + workA.second + "_" + workB.second];
        }
      }
    }
  }
  return names;
}

// Names of one to four parts "a", "b" or nothing, joined by "_", distinct within works and within
// criteria: a name's parts are often others' names, in every way that a "_" can make two reports
// alike.
std::map<std::uint32_t, std::string> randomNames(std::mt19937& random, std::uint32_t count) {
  std::uniform_int_distribution<int> parts(1, 4);
  std::uniform_int_distribution<int> part(0, 4);
  std::map<std::uint32_t, std::string> names;
  std::set<std::string> used;
  while (names.size() < count) {
    std::string name;
    const int partCount = parts(random);
    for (int i = 0; i < partCount; ++i) {
      const int drawn = part(random);
      name += std::string(i > 0 ? "_" : "") + (drawn < 2 ? "a" : drawn < 4 ? "b" : "");
    }
    if (!name.empty() && used.insert(name).second) {
      names.emplace(static_cast<std::uint32_t>(names.size() + 1), name);
    }
  }
  return names;
}

TEST(OutputNames, RefusesExactlyTheNamesWhoseReportsCollide) {
  std::mt19937 random(19);
  std::uniform_int_distribution<std::uint32_t> works(2, 6);
  std::uniform_int_distribution<std::uint32_t> criteria(1, 3);
  int refused = 0;
  for (int trial = 0; trial < 20000; ++trial) {
    DataSet data;
    data.workShortNames = randomNames(random, works(random));
    data.criterionShortNames = randomNames(random, criteria(random));
    const std::map<std::string, int> names = reportNames(data);
    bool shared = false;
    for (const auto& entry : names) shared = shared || entry.second > 1;
    std::ostringstream err;
    const bool accepted = checkOutputNames(data, "data.csv", err);
    ASSERT_EQ(accepted, !shared) << ::testing::PrintToString(data.workShortNames) << " "
                                 << ::testing::PrintToString(data.criterionShortNames);
    if (accepted) continue;
    ++refused;
    // The file named is one that two reports share.
    const std::string message = err.str();
    const std::size_t start = message.find("\"chiSq_") + 7;
    const std::string joined = message.substr(start, message.find(".csv\"", start) - start);
    const auto found = names.find(joined);
    ASSERT_TRUE(found != names.end() && found->second > 1) << message;
  }
  // A quarter of the sets hold two reports of one name.
  EXPECT_GT(refused, 2000);
}

}  // namespace
}  // namespace brevox
