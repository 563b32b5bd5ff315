#include "data/csv_reader.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "data/built_in_data.h"
#include "data/data_layout.h"
#include "data/input_data_writer.h"
#include "tests/test_support.h"

namespace brevox {
namespace {

const char kPath[] = "in.csv";

struct ReadOutcome {
  bool accepted;
  std::string message;
  DataSet data;
};

ReadOutcome readText(const std::string& text) {
  ReadOutcome outcome{false, "", builtInDataSet()};
  std::istringstream in(text);
  const Outcome failed = readDataSet(in, kPath, outcome.data);
  outcome.accepted = !failed;
  if (failed) outcome.message = failureLine(*failed) + "\n";
  return outcome;
}

struct RejectedFile {
  std::string text;
  std::string message;
};

// A rejected file leaves its one message, and the names and counts of the built-in data.
void expectRejected(const RejectedFile& c) {
  SCOPED_TRACE(c.text);
  const ReadOutcome outcome = readText(c.text);
  EXPECT_FALSE(outcome.accepted);
  EXPECT_EQ(outcome.message, c.message);
  EXPECT_EQ(outcome.data.works, builtInDataSet().works);
  EXPECT_EQ(outcome.data.criteria, builtInDataSet().criteria);
}

const std::string kCriteria = ",0.05,k1,Criterion one,k2,Criterion two,\n";
const std::string kDirections = ",,,1,,-1,\n";

TEST(CsvReader, ReportsEachFormatFailure) {
  const std::string line1 = " in in.csv at line 1\n";
  const std::string blankBetween =
      ": a blank line between two works would shift the numbers of the works after it\n";
  const std::string twoNeed =
      "in in.csv at line 3 (work \"w\"): 2 criteria need 2 pairs of counts, ";
  const std::string workbook = ", not CSV text: save it as CSV (see the README)\n";
  const RejectedFile cases[] = {
      {",\n,,\nw1,One,3,10,\n", "Odd number of fields for list of criteria" + line1},
      // A blank line of a spreadsheet's used range between two works shifts their numbers.
      {kCriteria + kDirections + "w,W,1,2,3,4\n,,,,\nv,V,1,2,3,4\n",
       "Empty list of data for work n. 2in in.csv at line 4" + blankBetween},
      {kCriteria + kDirections + "w,W,1,2,3,4\n\rv,V,1,2,3,4\n",
       "Empty list of data for work n. 2in in.csv at line 4" + blankBetween},
      {"", "Empty list of works in in.csv\n"},
      {kCriteria, "Empty list of works in in.csv\n"},
      {kCriteria + kDirections, "Empty list of works in in.csv\n"},
      {",0.05,k1\n", "Odd number of fields for list of criteria" + line1},
      {",0.05,k1,,x\n", "Odd number of fields for list of criteria" + line1},
      {"\n", "Empty list of criteria" + line1},
      {",0.05,\n", "Empty list of criteria" + line1},
      {kCriteria + ",,,1,x\n", "Odd number of fields for list of criteria in in.csv at line 2\n"},
      {kCriteria + kDirections + "w,W,1,2,3\n",
       "Odd number of fields for list of work n. 1in in.csv at line 3 (work \"w\")\n"},
      {kCriteria + kDirections + "w,W,1,2,3,4,x,\n",
       "Odd number of fields for list of work n. 1in in.csv at line 3 (work \"w\")\n"},
      {kCriteria + kDirections + "w,W,1,2\n",
       "wrong number of fields for list of work n. 1" + twoNeed + "the work has 1\n"},
      {kCriteria + kDirections + "w,W,1,2,3,4,5,6\n",
       "wrong number of fields for list of work n. 1" + twoNeed + "the work has 3\n"},
      {kCriteria + kDirections + "w,W\n",
       "Empty list of data for work n. 1in in.csv at line 3 (work \"w\")\n"},
      {kCriteria + kDirections + "w,W,1,2,3,4\n\nv,V,1,2,3,4\n",
       "Empty list of data for work n. 2in in.csv at line 4" + blankBetween},
      {kCriteria + kDirections + "w,W,1,2,3,4\r\nv,V,1,2,3,4\r\n,\r\nu,U,1,2,3,4",
       "Empty list of data for work n. 3in in.csv at line 5" + blankBetween},
      // Empty fields on the right are dropped in whole pairs, and never inside the data.
      {kCriteria + kDirections + "w,W,1,2,,,,,\n",
       "wrong number of fields for list of work n. 1" + twoNeed + "the work has 1\n"},
      {kCriteria + kDirections + "w,W,1,2,3,,,,\n",
       "Invalid total count \"\" of criterium n. 2 for work n. 1 in in.csv at line 3, field 6 "
       "(work \"w\", criterion \"k2\"): the field is empty\n"},
      {kCriteria + kDirections + "w,\"W,1,2,3,4\n", "Unclosed double quote in line 3 of in.csv\n"},
      {std::string("\xFF\xFE,\0\0\xDC", 6), "Invalid UTF-16 text at byte offset 4 of in.csv\n"},
      // Files that no field could save, named by their first bytes.
      {std::string("PK\x03\x04\x14\0\x06\0\n", 9),
       "Odd number of fields for list of criteria" + line1.substr(0, line1.size() - 1) +
           ": the file is a spreadsheet workbook (.xlsx or .ods)" + workbook},
      {"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1\n",
       "Odd number of fields for list of criteria" + line1.substr(0, line1.size() - 1) +
           ": the file is a spreadsheet workbook (.xls)" + workbook},
      // ",0.05,k," in UTF-16 without its mark.
      {std::string(",\0"
                   "0\0.\0"
                   "0\0"
                   "5\0,\0k\0,\0",
                   16),
       "Invalid threshold \"\\x000\\x00.\\x000\\x005\\x00\" for list of criteria in in.csv at "
       "line 1, field 2: the file looks like UTF-16 text without a byte-order mark: save it as "
       "UTF-8, or as UTF-16 with its byte-order mark\n"},
  };
  for (const RejectedFile& c : cases) expectRejected(c);
}

// The UTF-16 bytes of `text`, in the byte order of the byte-order mark it starts with.
std::string utf16(const std::u16string& text, bool bigEndian) {
  std::string bytes;
  for (const char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8);
    bytes += bigEndian ? std::string{high, static_cast<char>(unit)}
                       : std::string{static_cast<char>(unit), high};
  }
  return bytes;
}

TEST(CsvReader, ReadsWhatSpreadsheetsWrite) {
  const ReadOutcome plain = readText(
      "x,0.05,k1,Kappa one,k2,Kappa two,\n,,,1,,-1,\n"
      "w,W\xC3\xA9 \xF0\x9D\x94\x9A,1,2,3,4,\nv,V,5,6,7,8,\n");
  ASSERT_TRUE(plain.accepted) << plain.message;
  const std::string dialects[] = {
      utf16(u"\uFEFFx,0.05,k1,Kappa one,k2,Kappa two,\r,,,1,,-1,\r\n"
            u"w,W\u00E9 \U0001D51A,1,2,3,4,\nv,V,5,6,7,8,\r",
            false),
      utf16(u"\uFEFF\"x\";\"0,05\";\"k1\";\"Kappa one\";k2;Kappa two\n;;;1;;-1\n"
            u"\"w\";\"W\u00E9 \U0001D51A\";1;2;3;4\nv;V;5;6;7;8;;;\n\n",
            true),
      // Excel's "Unicode text": tabs between fields.
      utf16(u"\uFEFFx\t0,05\tk1\tKappa one\tk2\tKappa two\r\n\t\t\t1\t\t-1\r\n"
            u"w\tW\u00E9 \U0001D51A\t1\t2\t3\t4\r\nv\tV\t5\t6\t7\t8\r\n",
            false),
      // A UTF-8 mark; separators, line ends and doubled quotes inside quotes; text after quotes.
      "\xEF\xBB\xBF\"x, \"\"p\"\";\r\n\",\"0.05\",\"k1\",\"Kappa \"one,k2,Kappa two\r\n"
      "\"\",\"\",\"\",\"1\",\"\",\"-1\"\r\nw,\"W\xC3\xA9 "
      "\xF0\x9D\x94\x9A\",1,2,3,4\r\nv,V,5,6,7,8,\r\n",
  };
  for (const std::string& text : dialects) {
    SCOPED_TRACE(text);
    const ReadOutcome outcome = readText(text);
    ASSERT_TRUE(outcome.accepted) << outcome.message;
    EXPECT_TRUE(outcome.data == plain.data);
  }
}

TEST(CsvReader, RejectsValuesTheTestsCannotUse) {
  const std::string works = "w,W,1,2,3,4\n";
  const std::string unquoted = "Comma, double quote or line end in ";
  const std::string inLine1 = " in line 1 of in.csv\n";
  const std::string ofW = " for work n. 1 in in.csv at line 3, field ";
  const std::string wK1 = " (work \"w\", criterion \"k1\")";
  const std::string wK2 = " (work \"w\", criterion \"k2\")";
  const std::string whole =
      ": counts are whole numbers of digits alone, without decimals, exponents or letters\n";
  const std::string thousands =
      ": counts are whole numbers of digits alone: save the file without thousands separators\n";
  const std::string threshold = " for list of criteria in in.csv at line 1, field 2";
  const std::string number = ": give a number such as 0.05, or a percentage such as 5%\n";
  const std::string direction = " in in.csv at line 2, field ";
  const std::string underName = ": write 1 or -1 on line 2 under the criterion's long name\n";
  const std::string fileNames =
      ": short names become parts of file names, which cannot hold /, \\ or a NUL byte\n";
  const std::string anotherSign = ": names go into CSV files without quoting: use another sign\n";
  const RejectedFile cases[] = {
      // Empty fields right of the data go, but not one inside a count pair.
      {kCriteria + kDirections + "w,W,1,2,3,,\n",
       "Invalid total count \"\" of criterium n. 2" + ofW + "6" + wK2 + ": the field is empty\n"},
      // An unquoted comma in a name moves every field after it.
      {kCriteria + kDirections + "w,W, the first,1,2,3,4\n",
       "Invalid observed count \" the first\" of criterium n. 1" + ofW + "3" + wK1 + whole},
      // A count is read whole or not at all: nothing is cut short.
      {kCriteria + kDirections + "w,W,1.094,2000,3,4\n",
       "Invalid observed count \"1.094\" of criterium n. 1" + ofW + "3" + wK1 + thousands},
      {kCriteria + kDirections + "w,W,1,2,3,1 094 567\n",
       "Invalid total count \"1 094 567\" of criterium n. 2" + ofW + "6" + wK2 + thousands},
      {kCriteria + kDirections + "w,W,1,10.5,3,4\n",
       "Invalid total count \"10.5\" of criterium n. 1" + ofW + "4" + wK1 + whole},
      {kCriteria + kDirections + "w,W,1,5e3,3,4\n",
       "Invalid total count \"5e3\" of criterium n. 1" + ofW + "4" + wK1 + whole},
      {kCriteria + kDirections + "w,W,12abc,20,3,4\n",
       "Invalid observed count \"12abc\" of criterium n. 1" + ofW + "3" + wK1 + whole},
      {kCriteria + kDirections + "w,W,0x10,20,3,4\n",
       "Invalid observed count \"0x10\" of criterium n. 1" + ofW + "3" + wK1 + whole},
      // A decimal comma is the threshold's only: counts are whole numbers.
      {"x;0,05;k;Crit;\n;;;1;\nw1;One;3;10,5;\n",
       "Invalid total count \"10,5\" of criterium n. 1 for work n. 1 in in.csv at line 3, field 4 "
       "(work \"w1\", criterion \"k\")" +
           whole},
      {",abc,k1,K1,\n" + kDirections + works, "Invalid threshold \"abc\"" + threshold + number},
      {",inf,k1,K1,\n", "Invalid threshold \"inf\"" + threshold + number},
      {",nan,k1,K1,\n", "Invalid threshold \"nan\"" + threshold + number},
      {",0x1p-4,k1,K1,\n", "Invalid threshold \"0x1p-4\"" + threshold + number},
      {",1e99,k1,K1,\n", "Invalid threshold \"1e99\"" + threshold + number},
      {", 0.01xyz,k1,K1,\n", "Invalid threshold \" 0.01xyz\"" + threshold + number},
      {",5%%,k1,K1,\n", "Invalid threshold \"5%%\"" + threshold + number},
      // The decimal comma of a comma-separated file needs quotes.
      {",0,05,k1,K1,\n", "Threshold \"0\" outside (0, 1]" + threshold + "\n"},
      {",-0.05,k1,K1,\n", "Threshold \"-0.05\" outside (0, 1]" + threshold + "\n"},
      {",500%,k1,K1,\n", "Threshold \"500%\" outside (0, 1]" + threshold + "\n"},
      {",5,k1,K1,\n", "Threshold \"5\" outside (0, 1]" + threshold +
                          ": a threshold is a share of 1; for 5 percent write 5%\n"},
      {kCriteria + ",,,x,,1,\n", "Invalid direction \"x\" of criterium n. 1" + direction +
                                     "4 (criterion \"k1\"): a direction is 1 or -1\n"},
      {kCriteria + ",,,1,,7,\n", "Invalid direction \"7\" of criterium n. 2" + direction +
                                     "6 (criterion \"k2\"): a direction is 1 or -1\n"},
      // A deleted line of directions leaves the first work's counts in their place.
      {kCriteria + "w,W,1,2,3,4\nv,V,5,6,7,8\n",
       "Invalid direction \"2\" of criterium n. 1" + direction +
           "4 (criterion \"k1\"): a direction is 1 or -1; line 2 holds the directions (1 or -1 "
           "under each criterion's long name), and this line looks like a work's counts\n"},
      {kCriteria + ",,,1,,9999999999,\n", "Invalid direction \"9999999999\" of criterium n. 2" +
                                              direction +
                                              "6 (criterion \"k2\"): a direction is 1 or -1\n"},
      // Every criterion needs its own direction.
      {kCriteria + ",,,1,\n" + works,
       "Missing direction of criterium n. 2" + direction + "6 (criterion \"k2\")" + underName},
      {kCriteria + "\n" + works,
       "Missing direction of criterium n. 1" + direction + "4 (criterion \"k1\")" + underName},
      {kCriteria + ",,,,,1\n" + works,
       "Missing direction of criterium n. 1" + direction + "4 (criterion \"k1\")" + underName},
      {kCriteria + kDirections + "w,W,1,2,3,x\n",
       "Invalid total count \"x\" of criterium n. 2" + ofW + "6" + wK2 + whole},
      {kCriteria + kDirections + "w,W,,2,3,4\n", "Invalid observed count \"\" of criterium n. 1" +
                                                     ofW + "3" + wK1 + ": the field is empty\n"},
      {kCriteria + kDirections + works + "v,V,1,2147483648,3,4\n",
       "Invalid total count \"2147483648\" of criterium n. 1 for work n. 2 in in.csv at line 4, "
       "field 4 (work \"v\", criterion \"k1\"): no count may pass 536870911\n"},
      {kCriteria + kDirections + "w,W,-1,2,3,4\n",
       "Negative observed count \"-1\" of criterium n. 1" + ofW + "3" + wK1 + "\n"},
      {kCriteria + kDirections + "w,W,1,2,-3,-1\n",
       "Negative observed count \"-3\" of criterium n. 2" + ofW + "5" + wK2 + "\n"},
      {kCriteria + kDirections + "w,W,1,2,0,-4\n",
       "Negative total count \"-4\" of criterium n. 2" + ofW + "6" + wK2 + "\n"},
      {kCriteria + kDirections + "w,W,1,536870912,3,4\n",
       "Total count 536870912 above 536870911 of criterium n. 1" + ofW + "4" + wK1 + "\n"},
      {kCriteria + kDirections + "w,W,3,2,3,4\n",
       "Observed count 3 above total 2 of criterium n. 1" + ofW + "3" + wK1 + "\n"},
      {",0.05,a/b,K1,\n",
       "Invalid short name \"a/b\" of criterium n. 1 in in.csv at line 1, field 3" + fileNames},
      {kCriteria + kDirections + "..\\x,W,1,2,3,4\n",
       "Invalid short name \"..\\x\" of work n. 1 in in.csv at line 3, field 1" + fileNames},
      {kCriteria + kDirections + std::string("a\0b,W,1,2,3,4\n", 15),
       "Invalid short name \"a\\x00b\" of work n. 1 in in.csv at line 3, field 1" + fileNames},
      {kCriteria + kDirections + works + "w,V,1,2,3,4\n",
       "Duplicate short name \"w\" of work n. 2 (same as work n. 1) in line 4 of in.csv\n"},
      {",0.05,k,K,k,L\n",
       "Duplicate short name \"k\" of criterium n. 2 (same as criterium n. 1)" + inLine1},
      {kCriteria + kDirections + "\"\",W,1,2,3,4\n",
       "Empty short name of work n. 1 in line 3 of in.csv\n"},
      {kCriteria + kDirections + "w,\"W, V\",1,2,3,4\n",
       unquoted + "long name \"W, V\" of work n. 1 in line 3 of in.csv" + anotherSign},
      {kCriteria + kDirections + "w\"x,W,1,2,3,4\n",
       unquoted + "short name \"w\"x\" of work n. 1 in line 3 of in.csv" + anotherSign},
      {";0,05;k;\"K\r\nL\"\n",
       unquoted + "long name \"K\\x0d\\x0aL\" of criterium n. 1 in line 1 of in.csv" + anotherSign},
  };
  for (const RejectedFile& c : cases) expectRejected(c);
}

TEST(DataLayout, TakesAWorkbooksCellsByAddress) {
  // A workbook hands over only the cells that hold something, and names them by address.
  const auto read = [](const std::string& observed, DataSet& data) {
    DataLayoutReader layout({"data.xlsx", "My data"});
    const std::vector<std::vector<std::string>> rows = {
        {"Threshold:", "5%", "k", "K"}, {"", "", "", "-1"}, {"w", "", observed, "9"}};
    for (std::uint64_t row = 0; row < rows.size(); ++row) {
      for (std::uint64_t column = 0; column < 4; ++column) {
        if (layout.cell({rows[row][column], row + 1, column + 1, true})) break;
      }
    }
    const Outcome refused = layout.finish(data);
    return refused ? failureLine(*refused) : "";
  };
  DataSet data;
  EXPECT_EQ(read("7", data), "");
  EXPECT_EQ(countPair(data, 1, 1), (CountPair{7, 9}));
  EXPECT_EQ(direction(data, 1), -1);
  EXPECT_EQ(read("1.094", data),
            "Invalid observed count \"1.094\" of criterium n. 1 for work n. 1 in data.xlsx at cell "
            "'My data'!C3 (work \"w\", criterion \"k\"): counts are whole numbers of digits alone: "
            "save the file without thousands separators");
}

TEST(CsvReader, ReadsFieldsAsTheFormatDefines) {
  const ReadOutcome outcome = readText(
      "anything, 0.01 ,k1,Criterion one,k 2,Criterion two\r\n"
      "x,y,z,-1,q, 1 ,beyond,the criteria\r\n"
      "w1,Work one,  3,10,\t12 ,20,\n"
      "w2,,0,5,5,5");
  ASSERT_TRUE(outcome.accepted) << outcome.message;
  EXPECT_EQ(outcome.message, "");
  EXPECT_EQ(outcome.data.threshold, static_cast<double>(0.01f));
  EXPECT_EQ(criterionShortName(outcome.data, 2), "k 2");
  EXPECT_EQ(criterionLongName(outcome.data, 1), "Criterion one");
  // The data's own directions, one per criterion.
  ASSERT_EQ(outcome.data.criteria.size(), 2u);
  EXPECT_EQ(direction(outcome.data, 1), -1);
  EXPECT_EQ(direction(outcome.data, 2), 1);
  EXPECT_EQ(countPair(outcome.data, 1, 1), (CountPair{3, 10}));
  EXPECT_EQ(countPair(outcome.data, 1, 2), (CountPair{12, 20}));
  EXPECT_EQ(countPair(outcome.data, 2, 2), (CountPair{5, 5}));
  EXPECT_EQ(workLongName(outcome.data, 2), "");
  EXPECT_EQ(outcome.data.works.size(), 2u);
}

TEST(CsvReader, AcceptsTheLargestTotal) {
  const ReadOutcome outcome = readText(kCriteria + kDirections + "w,W,536870911,536870911,0,1\n");
  ASSERT_TRUE(outcome.accepted) << outcome.message;
  EXPECT_EQ(countPair(outcome.data, 1, 1), (CountPair{536870911, 536870911}));
}

TEST(CsvReader, RoundsTheThresholdToSinglePrecision) {
  const ReadOutcome outcome = readText(kCriteria + kDirections + "w,W,1,2,3,4\n");
  ASSERT_TRUE(outcome.accepted);
  EXPECT_EQ(outcome.data.threshold, 0.0500000007450580596923828125);
}

TEST(CsvReader, ReadsThresholdsAsSpreadsheetsWriteThem) {
  // The input-data writer prints six digits: a threshold near the smallest single-precision
  // number must still read back from its own file. A percent sign divides by 100, and a comma in
  // quotes is a decimal comma.
  const double fivePercent = static_cast<double>(0.05f);
  const struct {
    const char* field;
    double threshold;  // 0: rejected
  } cases[] = {
      {"1.17549435e-38", static_cast<double>(std::numeric_limits<float>::min())},
      {"1.17549e-38", static_cast<double>(1.17549e-38f)},
      {"1e-40", static_cast<double>(1e-40f)},
      {"1.4013e-45", static_cast<double>(std::numeric_limits<float>::denorm_min())},
      {"1e-50", 0},
      {"5%", fivePercent},
      {"5.00%", fivePercent},
      {" 5 % ", fivePercent},
      {"\"5,00\xE2\x80\xAF%\"", fivePercent},
      {"\"0,05\"", fivePercent},
      {"0.1%", static_cast<double>(0.001f)},
      {"100%", 1.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    const ReadOutcome outcome = readText(std::string(",") + c.field + ",k1,K1,\n,,,1\nw,W,1,2\n");
    if (c.threshold == 0) {
      EXPECT_FALSE(outcome.accepted);
      EXPECT_EQ(outcome.message, std::string("Threshold \"") + c.field +
                                     "\" outside (0, 1] for list of criteria in in.csv at line "
                                     "1, field 2\n");
      continue;
    }
    ASSERT_TRUE(outcome.accepted) << outcome.message;
    EXPECT_EQ(outcome.data.threshold, c.threshold);
    std::ostringstream file;
    writeInputData(file, outcome.data);
    const ReadOutcome reread = readText(file.str());
    EXPECT_TRUE(reread.accepted) << reread.message;
    EXPECT_GT(reread.data.threshold, 0.0);
  }
}

TEST(CsvReader, InputDataFileReadsBack) {
  DataSet wide = builtInDataSet();
  // Eight criteria, awkward names and a small threshold.
  for (std::uint32_t criterion = 7; criterion <= 8; ++criterion) {
    wide.criteria.push_back({"c" + std::to_string(criterion),
                             "criterion " + std::to_string(criterion), criterion == 7 ? 1 : -1});
    for (Work& work : wide.works) work.counts.push_back(CountPair{criterion, 3 * criterion});
  }
  wide.works[1].longName = "";
  wide.threshold = static_cast<double>(0.00001f);
  for (const DataSet& original : {builtInDataSet(), wide}) {
    std::ostringstream file;
    writeInputData(file, original);
    std::istringstream in(file.str());
    DataSet copy;
    const Outcome failed = readDataSet(in, kPath, copy);
    ASSERT_FALSE(failed) << failureLine(*failed);
    EXPECT_EQ(copy.works, original.works);
    EXPECT_EQ(copy.criteria, original.criteria);
    EXPECT_EQ(copy.threshold, static_cast<double>(static_cast<float>(original.threshold)));
  }
}

TEST(CsvReader, FileThatCannotBeReadIsNamed) {
  tests::TempDir folder;
  DataSet data = builtInDataSet();
  const auto message = [&](const std::string& path) {
    const Outcome failed = readDataSetFile(path, data);
    return failed ? failureLine(*failed) : "";
  };
  const std::string missing = (folder.path() / "missing.csv").string();
  EXPECT_EQ(message(missing),
            "Failed to open file " + missing + " for reading: No such file or directory");
  EXPECT_EQ(message(folder.path().string()),
            "Failed to open file " + folder.path().string() + " for reading: Is a directory");
  EXPECT_EQ(message(""), "Failed to open file  for reading: No such file or directory");
  EXPECT_TRUE(data == builtInDataSet());
}

TEST(InputDataWriter, WritesSmallThresholdsAndTheDirectionOfEachCriterion) {
  DataSet data = builtInDataSet();
  data.threshold = static_cast<double>(0.00001f);
  std::ostringstream file;
  writeInputData(file, data);
  const std::string text = file.str();
  EXPECT_EQ(text.rfind("Threshold:,1e-05,Digamma,", 0), 0u);
  EXPECT_NE(text.find("\r\n,,,1,,-1,,-1,,-1,,-1,,-1,\r\nIliad,"), std::string::npos);
}

}  // namespace
}  // namespace brevox
