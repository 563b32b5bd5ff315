#include "data/input_data_writer.h"

#include "io/number_text.h"
#include "io/output_file.h"

namespace brevox {

void writeInputData(std::ostream& out, const DataSet& data) {
  out << "Threshold:," << formatDouble(data.threshold) << ',';
  for (const auto& [criterion, longName] : data.criterionLongNames) {
    out << criterionShortName(data, criterion) << ',' << longName << ',';
  }
  out << kLineEnd << ",,";
  // The direction of each criterion, under its long name.
  for (const auto& entry : data.criterionLongNames)
    out << ',' << direction(data, entry.first) << ',';
  out << kLineEnd;
  for (const auto& [work, longName] : data.workLongNames) {
    out << workShortName(data, work) << ',' << longName << ',';
    for (const auto& entry : data.criterionLongNames) {
      const CountPair pair = countPair(data, work, entry.first);
      out << pair.observed << ',' << pair.total << ',';
    }
    out << kLineEnd;
  }
}

bool writeInputDataFile(const std::string& path, const DataSet& data, std::ostream& err) {
  return writeFile(
      path, err, [&data](std::ostream& out) { writeInputData(out, data); }, " for writing");
}

}  // namespace brevox
