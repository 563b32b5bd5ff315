#include "report/report_frame.h"

#include "io/number_text.h"

namespace brevox {

std::string passFlagText(std::int32_t flag) { return flag == 0 ? "PASSED" : "FAILED"; }

void writeReportFrame(std::ostream& out, const std::string& title, const std::string& header,
                      const PairComparison& pair, const DataSet& data) {
  out << title << kLineEnd;
  out << header << kLineEnd;
  out << workLongName(data, pair.workA) << ',' << workLongName(data, pair.workB) << ','
      << criterionLongName(data, pair.criterion) << ',' << pair.observedA << ',' << pair.totalA
      << ',' << pair.observedB << ',' << pair.totalB << kLineEnd;
}

}  // namespace brevox
