#include "data/data_set.h"

#include "data/built_in_data.h"

namespace brevox {

namespace {

// Filled during static initialisation, before the entry point looks at the command line.
DataSet processDataSet = builtInDataSet();

const std::string& nameOf(const std::map<std::uint32_t, std::string>& names, std::uint32_t key) {
  static const std::string empty;
  auto found = names.find(key);
  return found == names.end() ? empty : found->second;
}

}  // namespace

bool operator==(const CountPair& left, const CountPair& right) {
  return left.observed == right.observed && left.total == right.total;
}

bool operator==(const DataSet& left, const DataSet& right) {
  return left.workLongNames == right.workLongNames && left.workShortNames == right.workShortNames &&
         left.criterionLongNames == right.criterionLongNames &&
         left.criterionShortNames == right.criterionShortNames && left.counts == right.counts &&
         left.directions == right.directions && left.threshold == right.threshold;
}

DataSet& dataSet() { return processDataSet; }

const std::string& workLongName(const DataSet& data, std::uint32_t work) {
  return nameOf(data.workLongNames, work);
}

const std::string& workShortName(const DataSet& data, std::uint32_t work) {
  return nameOf(data.workShortNames, work);
}

const std::string& criterionLongName(const DataSet& data, std::uint32_t criterion) {
  return nameOf(data.criterionLongNames, criterion);
}

const std::string& criterionShortName(const DataSet& data, std::uint32_t criterion) {
  return nameOf(data.criterionShortNames, criterion);
}

CountPair countPair(const DataSet& data, std::uint32_t work, std::uint32_t criterion) {
  auto row = data.counts.find(work);
  if (row == data.counts.end()) return {};
  auto cell = row->second.find(criterion);
  return cell == row->second.end() ? CountPair{} : cell->second;
}

std::int32_t direction(const DataSet& data, std::uint32_t criterion) {
  auto found = data.directions.find(criterion);
  return found == data.directions.end() ? 0 : found->second;
}

}  // namespace brevox
