#include "report/pair_reports.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "report/report_frame.h"
#include "report/variants.h"
#include "tests/test_support.h"

namespace brevox {
namespace {

namespace fs = std::filesystem;

// Long and short names differ, so a report that shows a short name is caught.
DataSet namedData() {
  DataSet data;
  data.works = {{"Il", "Iliad", {}}, {"Od", "Odyssey", {}}, {"HDem", "H. Demeter", {}}};
  // The pairs of the tests are under criterion 4.
  data.criteria = {{"c1", "", 0}, {"c2", "", 0}, {"c3", "", 0}, {"Dig", "Digamma neglect", 0}};
  return data;
}

const double kNegativeNaN = std::copysign(std::numeric_limits<double>::quiet_NaN(), -1.0);

TEST(PassFlagText, NonZeroFlagsMarkADifference) {
  const struct {
    std::int32_t flag;
    const char* text;
  } cases[] = {{0, "PASSED"}, {1, "FAILED"}, {2, "FAILED"}, {-1, "FAILED"}};
  for (const auto& c : cases) EXPECT_EQ(passFlagText(c.flag), c.text) << c.flag;
}

TEST(ChiSquareWarningText, NamesEachLevel) {
  EXPECT_EQ(chiSquareWarningText(0), "OK");
  EXPECT_EQ(chiSquareWarningText(1), "NUMBER OF CASES TOO LOW");
  EXPECT_EQ(chiSquareWarningText(2), "AT LEAST ONE EXPECTED VALUE = 0");
  EXPECT_EQ(chiSquareWarningText(3), "NUMBER OF CASES TOO LOW");
  EXPECT_EQ(chiSquareWarningText(-1), "NUMBER OF CASES TOO LOW");
}

TEST(BinomialReport, WritesFrameLimitsAndTable) {
  // 1 of 2 against 1 of 3; the flags are set by hand so that each pass text has its own place.
  const PairComparison pair(4, 2, {1, 2}, 1, {1, 3});
  BinomialResult result;
  result.successProbability = 1.0 / 3.0;
  result.mode = 0;
  result.observed = 1;
  result.observedDensity = 4.0 / 9.0;
  result.modeDensity = 4.0 / 9.0;
  result.threshold = 0.05;
  result.pLeft = 8.0 / 9.0;
  result.pRight = 5.0 / 9.0;
  result.pDoubleTail = 1.0;
  result.midPLeft = kNegativeNaN;
  result.midPRight = 1.0 / 3.0;
  result.midPDoubleTail = 7.0 / 9.0;
  result.lowerLimitLeft = 0;
  result.upperLimitRight = 2;
  result.lowerLimitDoubleTail = 1;
  result.upperLimitDoubleTail = 2;
  result.significantLeft = 0;
  result.significantRight = 1;
  result.significantDoubleTail = 1;
  std::ostringstream out;
  writeBinomialReport(out, pair, result, namedData());
  EXPECT_EQ(out.str(),
            "BINOMIAL DISTRIBUTION TEST ON:\r\n"
            "Work,vs work,criterium,N of events,Out of,vs N of events,out of\r\n"
            "Odyssey,Iliad,Digamma neglect,1,2,1,3\r\n"
            "\r\n"
            "Distr. probability,0.333333\r\n"
            ",Observed val,1,with p =,0.444444,Expected val,0,with p =,0.444444\r\n"
            "Test:,p-value,Mid-p,threshold,passFlag,lower limit,upper limit\r\n"
            "Double tail,1,0.777778,0.05,FAILED,1,2\r\n"
            "Single tail Left,0.888889,nan,0.05,PASSED,0,2\r\n"
            "Single tail Right,0.555556,0.333333,0.05, FAILED,0,2\r\n"
            "\r\n"
            "N,Density,Distribution\r\n"
            "0,0.444444,0.444444\r\n"
            "1,0.444444,0.888889\r\n"
            "2,0.111111,1\r\n");
}

TEST(BinomialReport, FirstWorkWithoutCasesGivesOneTableLine) {
  const PairComparison pair(4, 1, {0, 0}, 2, {3, 7});
  BinomialResult result;
  result.successProbability = 3.0 / 7.0;
  result.modeDensity = 1.0;
  result.observedDensity = 1.0;
  result.threshold = 0.01;
  result.pLeft = result.pRight = result.pDoubleTail = 1.0;
  result.midPLeft = result.midPRight = result.midPDoubleTail = 0.5;
  std::ostringstream out;
  writeBinomialReport(out, pair, result, namedData());
  const std::string text = out.str();
  EXPECT_NE(text.find("Iliad,Odyssey,Digamma neglect,0,0,3,7\r\n"), std::string::npos);
  EXPECT_NE(text.find("Single tail Left,1,0.5,0.01,PASSED,0,0\r\n"
                      "Single tail Right,1,0.5,0.01, PASSED,0,0\r\n"),
            std::string::npos);
  const std::string tableStart = "N,Density,Distribution\r\n";
  ASSERT_NE(text.find(tableStart), std::string::npos);
  EXPECT_EQ(text.substr(text.find(tableStart) + tableStart.size()), "0,1,1\r\n");
}

ChiSquareResult chiSquareRecord(double minExpected, std::int32_t warningPearson,
                                std::int32_t warningN1) {
  ChiSquareResult result;
  result.minExpected = minExpected;
  result.warningPearson = warningPearson;
  result.warningN1 = warningN1;
  result.threshold = 0.05;
  result.pPearson = 0.000260589;
  result.pYates = 0.00101633;
  result.pN1 = 0.000311491;
  result.chiPearson = 40.0 / 3.0;
  result.chiYates = 10.8;
  result.chiN1 = 13.0;
  result.significantPearson = 1;
  result.significantYates = 0;
  result.significantN1 = 1;
  return result;
}

TEST(ChiSquareReport, WritesFrameTwoEmptyLinesAndThreeTests) {
  std::ostringstream out;
  writeChiSquareReport(out, PairComparison(4, 1, {10, 20}, 3, {20, 20}), chiSquareRecord(5, 0, 0),
                       namedData());
  EXPECT_EQ(out.str(),
            "PEARSON's CHI-SQUARE DISTRIBUTION TEST ON:\r\n"
            "Opera,vs opera,criterium,N of events,Out of,vs N of events out of\r\n"
            "Iliad,H. Demeter,Digamma neglect,10,20,20,20\r\n"
            "\r\n"
            "\r\n"
            "Min. exp. value:,5\r\n"
            "Test:,p-value,threshold,passFlag,chi value\r\n"
            "Pearson's,0.000260589,0.05,FAILED,13.3333\r\n"
            "Yates-corr,0.00101633,0.05,PASSED,10.8\r\n"
            "N-1 (Campbell),0.000311491,0.05,FAILED,13\r\n");
}

TEST(ChiSquareReport, WarnsOfSmallExpectedCounts) {
  const std::string testLines =
      "Test:,p-value,threshold,passFlag,chi value\r\n"
      "Pearson's,nan,0.05,PASSED,nan\r\n"
      "Yates-corr,nan,0.05,PASSED,inf\r\n"
      "N-1 (Campbell),nan,0.05,PASSED,nan\r\n";
  const struct {
    double minExpected;
    std::int32_t warningPearson;
    std::int32_t warningN1;
    const char* body;
  } cases[] = {
      {0, 2, 2,
       "Min. exp. value:,0,ATTENZIONE!,AT LEAST ONE EXPECTED VALUE = 0,per Pearson's e per "
       "N-1\r\n\r\n"},
      {0.5, 1, 1,
       "Min. exp. value:,0.5,ATTENZIONE!,NUMBER OF CASES TOO LOW,per Pearson's e per N-1\r\n\r\n"},
      {4.99, 1, 0,
       "Min. exp. value:,4.99,ATTENZIONE!,NUMBER OF CASES TOO LOW,per Pearson's (OK per "
       "N-1)\r\n\r\n"},
      {100.0 / 21.0, 1, 0,
       "Min. exp. value:,4.7619,ATTENZIONE!,NUMBER OF CASES TOO LOW,per Pearson's (OK per "
       "N-1)\r\n\r\n"},
      {5, 0, 0, "Min. exp. value:,5\r\n"},
  };
  const std::string frame =
      "PEARSON's CHI-SQUARE DISTRIBUTION TEST ON:\r\n"
      "Opera,vs opera,criterium,N of events,Out of,vs N of events out of\r\n"
      "Iliad,Odyssey,Digamma neglect,0,4,0,6\r\n\r\n\r\n";
  for (const auto& c : cases) {
    // Statistics as a table with an expected count of 0 leaves them: not a number, or infinite.
    ChiSquareResult result = chiSquareRecord(c.minExpected, c.warningPearson, c.warningN1);
    result.pPearson = result.pYates = result.pN1 = kNegativeNaN;
    result.chiPearson = result.chiN1 = kNegativeNaN;
    result.chiYates = std::numeric_limits<double>::infinity();
    result.significantPearson = result.significantYates = result.significantN1 = 0;
    std::ostringstream out;
    writeChiSquareReport(out, PairComparison(4, 1, {0, 4}, 2, {0, 6}), result, namedData());
    EXPECT_EQ(out.str(), frame + c.body + testLines) << c.minExpected;
  }
}

TEST(FisherReport, WritesSevenLines) {
  FisherResult result;
  result.threshold = 0.05;
  result.pDoubleTail = 0.0427312;
  result.significantDoubleTail = 1;
  result.pMidP = 0.0255078;
  result.significantMidP = 0;
  std::ostringstream out;
  writeFisherReport(out, PairComparison(4, 3, {2, 10}, 1, {8, 12}), result, namedData());
  EXPECT_EQ(out.str(),
            "FISHER'S EXACT TEST ON:\r\n"
            "Opera,vs opera,criterium,N of events,Out of,vs N of events out of\r\n"
            "H. Demeter,Iliad,Digamma neglect,2,10,8,12\r\n"
            "\r\n"
            "Test:,p-value,threshold,passFlag\r\n"
            "Double-tail,0.0427312,0.05,FAILED\r\n"
            "Mid-P,0.0255078,0.05,PASSED\r\n");
}

TEST(PermutationReport, WritesSixLines) {
  PermutationResult result;
  result.pValue = 12392.0 / 1048576.0;
  result.significant = 1;
  result.threshold = 0.05;
  std::ostringstream out;
  writePermutationReport(out, PairComparison(4, 1, {8, 10}, 2, {2, 10}), result, namedData());
  EXPECT_EQ(out.str(),
            "EXACT PERMUTATION TEST ON:\r\n"
            "Opera,vs opera,criterium,N of events,Out of,vs N of events out of\r\n"
            "Iliad,Odyssey,Digamma neglect,8,10,2,10\r\n"
            "\r\n"
            "Metric:,p-value,threshold,passFlag\r\n"
            "chi-square,0.0118179,0.05,FAILED\r\n");
}

// One result of every family, for the file forms of the reports.
FamilyResults allResults() {
  FamilyResults results;
  results.binomial = BinomialResult{};
  results.binomial->successProbability = 0.5;
  results.chiSquare = chiSquareRecord(1, 1, 0);
  results.fisher = FisherResult{};
  results.permutation = PermutationResult{};
  return results;
}

const PairComparison kFilePair(4, 1, {1, 2}, 2, {1, 3});

TEST(ReportFiles, WriteTheWholeReportOverAnOldFile) {
  for (const FamilyDescriptor& family : kFamilies) {
    SCOPED_TRACE(family.optionLetter);
    tests::TempDir folder;
    const fs::path file = folder.path() / "report.csv";
    tests::writeFile(file, "an older and much longer report that must not show through\n");
    const Outcome written =
        writeFamilyReport(family.family, file.string(), kFilePair, allResults(), namedData());
    EXPECT_FALSE(written) << failureLine(*written);
    std::ostringstream expected;
    writeFamilyReport(expected, family.family, kFilePair, allResults(), namedData());
    EXPECT_NE(expected.str(), "");
    EXPECT_EQ(tests::readFile(file), expected.str());
  }
}

TEST(ReportFiles, ReportAFileThatCannotBeOpened) {
  const struct {
    std::string name;  // in a fresh folder; "folder" is a folder there
    const char* reason;
  } cases[] = {
      {"missing/report.csv", "No such file or directory"},
      {"folder", "Is a directory"},
      {std::string(256, 'r'), "File name too long"},
  };
  for (const FamilyDescriptor& family : kFamilies) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(1, family.optionLetter) + " " + c.reason);
      tests::TempDir folder;
      fs::create_directory(folder.path() / "folder");
      const fs::path file = folder.path() / c.name;
      const Outcome written =
          writeFamilyReport(family.family, file.string(), kFilePair, allResults(), namedData());
      ASSERT_TRUE(written);
      EXPECT_EQ(failureLine(*written), "Failed to open file " + file.string() + ": " + c.reason);
      EXPECT_TRUE(tests::fileNames(folder.path()).empty());
      EXPECT_FALSE(fs::exists(folder.path() / "missing"));
    }
  }
}

TEST(ReportFiles, ReportAFileThatCannotBeWritten) {
  // A limit on the size of the files this process writes fails every write beyond a few bytes,
  // as a full disk would. A device under the report's name would not: the report replaces it.
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
  for (const FamilyDescriptor& family : kFamilies) {
    SCOPED_TRACE(family.optionLetter);
    tests::TempDir folder;
    const std::string file = (folder.path() / "report.csv").string();
    const rlimit small{16, before.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const Outcome written =
        writeFamilyReport(family.family, file, kFilePair, allResults(), namedData());
    setrlimit(RLIMIT_FSIZE, &before);
    ASSERT_TRUE(written);
    EXPECT_EQ(failureLine(*written), "Failed to write file " + file + ": File too large");
    EXPECT_TRUE(tests::fileNames(folder.path()).empty());
  }
  signal(SIGXFSZ, previousHandler);
}

}  // namespace
}  // namespace brevox
