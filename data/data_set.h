#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace brevox {

/// Occurrences of a criterion's feature in a work, and the cases in which it could occur.
struct CountPair {
  std::uint32_t observed = 0;
  std::uint32_t total = 0;
};

/// Works, criteria, their counts and directions, and the p-value threshold, as parallel tables
/// keyed by 1-based work or criterion number.
struct DataSet {
  std::map<std::uint32_t, std::string> workLongNames;
  std::map<std::uint32_t, std::string> workShortNames;
  std::map<std::uint32_t, std::string> criterionLongNames;
  std::map<std::uint32_t, std::string> criterionShortNames;
  std::map<std::uint32_t, std::map<std::uint32_t, CountPair>> counts;
  /// The ordering of each criterion, 1 or -1.
  std::map<std::uint32_t, std::int32_t> directions;
  double threshold = 0.05;
};

bool operator==(const CountPair& left, const CountPair& right);
bool operator==(const DataSet& left, const DataSet& right);

/// The one data set of the process. It holds the built-in data from start-up until a data file
/// replaces it; only the entry point reaches for it and hands it on.
DataSet& dataSet();

// Reads by number; an absent key reads as the empty text, the pair (0, 0) or the direction 0.
const std::string& workLongName(const DataSet& data, std::uint32_t work);
const std::string& workShortName(const DataSet& data, std::uint32_t work);
const std::string& criterionLongName(const DataSet& data, std::uint32_t criterion);
const std::string& criterionShortName(const DataSet& data, std::uint32_t criterion);
CountPair countPair(const DataSet& data, std::uint32_t work, std::uint32_t criterion);
std::int32_t direction(const DataSet& data, std::uint32_t criterion);

}  // namespace brevox
