#include "report/pair_reports.h"

#include <array>
#include <charconv>
#include <cstddef>
#include <string>

#include "io/number_text.h"
#include "io/output_file.h"
#include "report/output_names.h"
#include "report/report_frame.h"
#include "report/variants.h"

namespace brevox {

namespace {

// The chi-square, Fisher and permutation reports share this header; its last field joins the
// second work's two counts, although the identification line below gives them separately.
const char* const kOperaHeader =
    "Opera,vs opera,criterium,N of events,Out of,vs N of events out of";

// The digits the table's cursor printed already, or the double's.
void appendPrinted(std::string& lines, const SixDigits& digits, double value) {
  if (digits.size == 0) {
    appendDouble(lines, value);
  } else {
    lines.append(digits.text, digits.size);
  }
}

}  // namespace

std::string chiSquareWarningText(std::int32_t warning) {
  if (warning == ChiSquareWarning::none) return "OK";
  if (warning == ChiSquareWarning::expectedZero) return "AT LEAST ONE EXPECTED VALUE = 0";
  return "NUMBER OF CASES TOO LOW";
}

void writeBinomialReport(std::ostream& out, const PairComparison& pair,
                         const BinomialResult& result, const DataSet& data) {
  writeReportFrame(out, "BINOMIAL DISTRIBUTION TEST ON:",
                   "Work,vs work,criterium,N of events,Out of,vs N of events,out of", pair, data);
  out << kLineEnd;
  out << "Distr. probability," << formatDouble(result.successProbability) << kLineEnd;
  out << ",Observed val," << result.observed << ",with p =," << formatDouble(result.observedDensity)
      << ",Expected val," << result.mode << ",with p =," << formatDouble(result.modeDensity)
      << kLineEnd;
  out << "Test:,p-value,Mid-p,threshold,passFlag,lower limit,upper limit" << kLineEnd;
  const std::string threshold = formatDouble(result.threshold);
  out << "Double tail," << formatDouble(result.pDoubleTail) << ','
      << formatDouble(result.midPDoubleTail) << ',' << threshold << ','
      << passFlagText(result.significantDoubleTail) << ',' << result.lowerLimitDoubleTail << ','
      << result.upperLimitDoubleTail << kLineEnd;
  // The left test does not reject from its lower limit up to all the cases of the first work,
  // the right test from no occurrence up to its upper limit.
  out << "Single tail Left," << formatDouble(result.pLeft) << ',' << formatDouble(result.midPLeft)
      << ',' << threshold << ',' << passFlagText(result.significantLeft) << ','
      << result.lowerLimitLeft << ',' << pair.totalA << kLineEnd;
  out << "Single tail Right," << formatDouble(result.pRight) << ','
      << formatDouble(result.midPRight) << ',' << threshold << ", "
      << passFlagText(result.significantRight) << ",0," << result.upperLimitRight << kLineEnd;
  out << kLineEnd;
  out << "N,Density,Distribution" << kLineEnd;
  // One line for every possible count of occurrences in the first work, 0 to totalA, regenerated
  // here rather than kept, and written in blocks through one buffer.
  BinomialTableCursor cursor = startBinomialTable(pair.totalA, result.successProbability);
  BinomialTableRow row;
  std::string lines;
  constexpr std::size_t kBlock = 1 << 16;
  lines.reserve(kBlock + 64);
  char count[16];
  while (nextBinomialRow(cursor, row)) {
    const char* const countEnd = std::to_chars(count, count + sizeof count, row.count).ptr;
    lines.append(count, static_cast<std::size_t>(countEnd - count));
    lines += ',';
    appendPrinted(lines, row.densityText, row.density);
    lines += ',';
    appendPrinted(lines, row.cumulativeText, row.cumulative);
    lines.append(kLineEnd, 2);
    if (lines.size() >= kBlock) {
      out.write(lines.data(), static_cast<std::streamsize>(lines.size()));
      lines.clear();
    }
  }
  out.write(lines.data(), static_cast<std::streamsize>(lines.size()));
}

void writeChiSquareReport(std::ostream& out, const PairComparison& pair,
                          const ChiSquareResult& result, const DataSet& data) {
  writeReportFrame(out, "PEARSON's CHI-SQUARE DISTRIBUTION TEST ON:", kOperaHeader, pair, data);
  out << kLineEnd << kLineEnd;
  out << "Min. exp. value:," << formatDouble(result.minExpected);
  if (result.warningPearson != ChiSquareWarning::none) {
    out << ",ATTENZIONE!," << chiSquareWarningText(result.warningPearson)
        << (result.warningN1 != ChiSquareWarning::none ? ",per Pearson's e per N-1"
                                                       : ",per Pearson's (OK per N-1)");
  }
  out << kLineEnd;
  if (result.warningPearson != ChiSquareWarning::none) out << kLineEnd;
  const std::string threshold = formatDouble(result.threshold);
  out << "Test:,p-value,threshold,passFlag,chi value" << kLineEnd;
  out << "Pearson's," << formatDouble(result.pPearson) << ',' << threshold << ','
      << passFlagText(result.significantPearson) << ',' << formatDouble(result.chiPearson)
      << kLineEnd;
  out << "Yates-corr," << formatDouble(result.pYates) << ',' << threshold << ','
      << passFlagText(result.significantYates) << ',' << formatDouble(result.chiYates) << kLineEnd;
  out << "N-1 (Campbell)," << formatDouble(result.pN1) << ',' << threshold << ','
      << passFlagText(result.significantN1) << ',' << formatDouble(result.chiN1) << kLineEnd;
}

void writeFisherReport(std::ostream& out, const PairComparison& pair, const FisherResult& result,
                       const DataSet& data) {
  writeReportFrame(out, "FISHER'S EXACT TEST ON:", kOperaHeader, pair, data);
  out << kLineEnd;
  const std::string threshold = formatDouble(result.threshold);
  out << "Test:,p-value,threshold,passFlag" << kLineEnd;
  out << "Double-tail," << formatDouble(result.pDoubleTail) << ',' << threshold << ','
      << passFlagText(result.significantDoubleTail) << kLineEnd;
  out << "Mid-P," << formatDouble(result.pMidP) << ',' << threshold << ','
      << passFlagText(result.significantMidP) << kLineEnd;
}

void writePermutationReport(std::ostream& out, const PairComparison& pair,
                            const PermutationResult& result, const DataSet& data) {
  writeReportFrame(out, "EXACT PERMUTATION TEST ON:", kOperaHeader, pair, data);
  out << kLineEnd;
  // The metric is named after the statistic whose distribution over the arrangements is counted.
  out << "Metric:,p-value,threshold,passFlag" << kLineEnd;
  out << "chi-square," << formatDouble(result.pValue) << ',' << formatDouble(result.threshold)
      << ',' << passFlagText(result.significant) << kLineEnd;
}

namespace {

// The report of each family, in the order of the families, from its result when it has one.
using FamilyReportWriter = void (*)(std::ostream&, const PairComparison&, const FamilyResults&,
                                    const DataSet&);
constexpr std::array<FamilyReportWriter, kFamilyCount> kFamilyReports = {
    [](std::ostream& out, const PairComparison& pair, const FamilyResults& results,
       const DataSet& data) {
      if (results.binomial) writeBinomialReport(out, pair, *results.binomial, data);
    },
    [](std::ostream& out, const PairComparison& pair, const FamilyResults& results,
       const DataSet& data) {
      if (results.chiSquare) writeChiSquareReport(out, pair, *results.chiSquare, data);
    },
    [](std::ostream& out, const PairComparison& pair, const FamilyResults& results,
       const DataSet& data) {
      if (results.fisher) writeFisherReport(out, pair, *results.fisher, data);
    },
    [](std::ostream& out, const PairComparison& pair, const FamilyResults& results,
       const DataSet& data) {
      if (results.permutation) writePermutationReport(out, pair, *results.permutation, data);
    },
};
static_assert(index(Family::binomial) == 0 && index(Family::chiSquare) == 1 &&
                  index(Family::fisher) == 2 && index(Family::permutation) == 3,
              "the report writers stand in the order of the families");

}  // namespace

void writeFamilyReport(std::ostream& out, Family family, const PairComparison& pair,
                       const FamilyResults& results, const DataSet& data) {
  kFamilyReports[index(family)](out, pair, results, data);
}

Outcome writeFamilyReport(Family family, const std::string& fileName, const PairComparison& pair,
                          const FamilyResults& results, const DataSet& data) {
  return writeFile(fileName,
                   [&](std::ostream& out) { writeFamilyReport(out, family, pair, results, data); });
}

Sink pairReportsSink() {
  Sink sink;
  // The reports are written as each pair is computed, on its thread: they are the bulk of what a
  // run writes.
  sink.computed = [](const TestedPair& tested, const DataSet& data) {
    Failures failures;
    if (!tested.table) return failures;
    const PairComparison& pair = *tested.table;
    for (const FamilyDescriptor& family : kFamilies) {
      if (!tested.tests.ran[family.family]) continue;
      const std::string name =
          pairReportFileName(family.family, pair.criterion, pair.workA, pair.workB, data);
      addFailure(failures, writeFamilyReport(family.family, name, pair, tested.tests, data));
    }
    return failures;
  };
  return sink;
}

}  // namespace brevox
