#include "data/input_data_writer.h"

#include "io/number_text.h"
#include "io/output_file.h"

namespace brevox {

void writeInputData(std::ostream& out, const DataSet& data) {
  out << "Threshold:," << formatDouble(data.threshold) << ',';
  for (const Criterion& criterion : data.criteria) {
    out << criterion.shortName << ',' << criterion.longName << ',';
  }
  out << kLineEnd << ",,";
  // The direction of each criterion, under its long name.
  for (const Criterion& criterion : data.criteria) out << ',' << criterion.direction << ',';
  out << kLineEnd;
  for (const Work& work : data.works) {
    out << work.shortName << ',' << work.longName << ',';
    for (const CountPair& pair : work.counts) out << pair.observed << ',' << pair.total << ',';
    out << kLineEnd;
  }
}

Outcome writeInputDataFile(const std::string& path, const DataSet& data) {
  return writeFile(
      path, [&data](std::ostream& out) { writeInputData(out, data); }, " for writing");
}

}  // namespace brevox
