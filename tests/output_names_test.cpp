#include "report/output_names.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <string>

namespace brevox {
namespace {

// Names of one to four parts "a", "b" or nothing, joined by "_", distinct within works and within
// criteria: a name's parts are often others' names, in every way that a "_" can make two reports
// alike.
template <typename Record>
std::vector<Record> randomNames(std::mt19937& random, std::uint32_t count) {
  const char* const kParts[] = {"a_", "b_", "a_", "b_", "_"};
  std::uniform_int_distribution<int> parts(1, 4);
  std::uniform_int_distribution<int> part(0, 4);
  std::vector<Record> names;
  std::set<std::string> used;
  while (names.size() < count) {
    std::string name;
    for (int i = parts(random); i > 0; --i) name += kParts[part(random)];
    name.pop_back();
    if (!name.empty() && used.insert(name).second) names.push_back({name, "", {}});
  }
  return names;
}

TEST(OutputNames, RefusesExactlyTheNamesWhoseReportsCollide) {
  std::mt19937 random(19);
  const OutputChoice everyFile{false, kAllFamilies, true};
  const OutputChoice withoutReports{false, kAllFamilies, false};
  int refused = 0;
  for (int trial = 0; trial < 20000; ++trial) {
    DataSet data;
    data.works = randomNames<Work>(random, 2 + trial % 5);
    data.criteria = randomNames<Criterion>(random, 1 + trial % 3);
    for (Work& work : data.works) work.counts.assign(data.criteria.size(), {1, 2});
    // Every report name, with the number of reports that bear it.
    std::map<std::string, int> reports;
    bool shared = false;
    for (const auto& [criterion, c] : criterionShortNames(data)) {
      for (const auto& [workA, a] : workShortNames(data)) {
        for (const auto& [workB, b] : workShortNames(data)) {
          if (workA != workB) shared = ++reports[c + "_" + a + "_" + b] > 1 || shared;
        }
      }
    }
    const Outcome refusal = checkOutputNames(everyFile, data, "data.csv");
    const std::string err = refusal ? failureLine(*refusal) : "";
    ASSERT_EQ(!refusal, !shared) << err;
    // A run without reports writes no name of two pairs.
    ASSERT_FALSE(checkOutputNames(withoutReports, data, "data.csv"));
    if (!shared) continue;
    ++refused;
    // The file named is one that two reports share.
    const std::size_t start = err.find("\"chiSq_") + 7;
    EXPECT_GT(reports[err.substr(start, err.find(".csv\"", start) - start)], 1);
  }
  // A quarter of the sets hold two reports of one name.
  EXPECT_GT(refused, 2000);
}

}  // namespace
}  // namespace brevox
