#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/options.h"
#include "tests/test_support.h"

namespace brevox {
namespace {

using namespace std::string_literals;
using tests::fileNames;
using tests::runProgram;
using tests::TempDir;

// A valid data file of one criterion and two works, with `line` added as a third work line.
std::string withWorkLine(const std::string& line) {
  return tests::dataFile({{"k", "Crit"}}, {{"w1", "One", {3, 10}}, {"w2", "Two", {4, 12}}}, "0.05",
                         "\n") +
         line;
}

// A workbook of tests/workbooks, made by its script.
std::string workbook(const std::string& name) {
  return tests::readFile(std::filesystem::path(BREVOX_SOURCE_DIR) / "tests" / "workbooks" / name);
}

// The reader's messages are checked on text in csv_reader_test; here, on the real program, that a
// refused file, a refused name or a file that is not a data file ends the run with its message
// and writes nothing.
TEST(BadInput, EndsWithItsMessageAndWritesNothing) {
  // How the case lays out its working folder before the run.
  enum class Input { file, folder, none };
  struct Case {
    const char* name;
    Input input;
    std::string contents;  // of "data.csv"
    std::vector<std::string> arguments;
    std::string message;  // exact standard error
  };
  const std::string longName(200000, 'n');
  // Short names that make an output file name of 256 bytes.
  const std::string a121(121, 'a');
  const std::string b122(122, 'b');
  const std::string c235(235, 'c');
  const std::string makes = " of data.csv makes the output file name \"";
  // Long names and file names are cut after 80 bytes in messages.
  auto cut = [](const std::string& text) { return text.substr(0, 80) + "..."; };
  const std::string tooLong = "\" longer than 255 bytes\n";
  std::string manyCriteria = "Threshold:,0.05";
  std::string manyDirections = ",";
  std::string shortWork = "w1,One";
  for (int k = 1; k <= 5000; ++k) {
    manyCriteria += ",k" + std::to_string(k) + ",Criterion " + std::to_string(k);
    manyDirections += ",,1";
    if (k < 5000) shortWork += ",1,2";
  }
  // Sixteen works at the largest total: 240 binomial reports of 7.9 GB each.
  std::string largestTotals = "Threshold:,0.05,k,Crit,\n,,,1,\n";
  for (int work = 1; work <= 16; ++work) {
    largestTotals += "w" + std::to_string(work) + ",W,1000,536870911,\n";
  }
  const std::vector<std::string> readOnly = {"data.csv", "-0"};
  const std::vector<std::string> allTests = {"data.csv"};
  const Case cases[] = {
      {"empty file", Input::file, "", readOnly, "Empty list of works in data.csv\n"},
      // Names that would lose, garble or cut short the outputs.
      {"report name above 255 bytes", Input::file,
       tests::dataFile({{"k", "Crit"}}, {{a121, "One", {3, 10}}, {b122, "Two", {4, 12}}}, "0.05",
                       "\n"),
       allTests,
       "Short name \"" + cut(b122) + "\" of work n. 2 in line 4" + makes + cut("chiSq_k_" + b122) +
           tooLong},
      {"summary name above 255 bytes", Input::file,
       tests::dataFile({{c235, "Crit"}}, {{"w1", "One", {3, 10}}, {"w2", "Two", {4, 12}}}, "0.05",
                       "\n"),
       allTests,
       "Short name \"" + cut(c235) + "\" of criterium n. 1 in line 1" + makes +
           cut("T_binD_Midp_pVal_" + c235) + tooLong},
      {"two pairs whose reports share a name", Input::file,
       tests::dataFile({{"k", "Crit"}},
                       {{"A", "One", {3, 10}},
                        {"B_C", "Two", {4, 12}},
                        {"A_B", "Three", {1, 9}},
                        {"C", "Four", {2, 8}}},
                       "0.05", "\n"),
       allTests,
       "Short name \"A_B\" of work n. 3 in line 5" + makes +
           "chiSq_k_A_B_C.csv\" the same as that "
           "of another pair of works\n"},
      {"two criteria whose reports share a name", Input::file,
       tests::dataFile({{"k", "Crit"}, {"k_w1", "Crit2"}},
                       {{"w1", "One", {3, 10, 1, 2}},
                        {"x_y", "Two", {4, 12, 1, 2}},
                        {"x", "Three", {1, 2, 1, 2}},
                        {"y", "Four", {1, 2, 1, 2}}},
                       "0.05", "\n"),
       allTests,
       "Short name \"k_w1\" of criterium n. 2 in line 1" + makes +
           "chiSq_k_w1_x_y.csv\" the same as that of another pair of works\n"},
      // Reports that no disk holds, refused before anything is written.
      {"reports larger than the free space",
       Input::file,
       largestTotals,
       {"data.csv", "-B"},
       "The reports of this run would take up to 1,906,081,458,240 bytes (1.9 TB), more than the "
       "output folder has free: use option S to write the summary files alone, or write into "
       "another folder with --output DIR; this run wrote nothing\n"},
      // Files that are not data files.
      {"a folder", Input::folder, "", allTests,
       "Failed to open file data.csv for reading: Is a directory\n"},
      {"a missing file",
       Input::none,
       "",
       {"absent.csv", "-FP"},
       "Failed to open file absent.csv for reading: No such file or directory\n"},
      // A path is quoted only where it would break the message's line.
      {"a missing file whose name holds a line break",
       Input::none,
       "",
       {"ab\nsent.csv", "-0"},
       "Failed to open file \"ab\\x0asent.csv\" for reading: No such file or directory\n"},
      {"an option string but no file",
       Input::none,
       "",
       {"-B"},
       "No data file before the option string \"-B\": the data file comes first (brevox data.csv "
       "-B), or D uses the built-in data (brevox -DB)\n"},
      {"binary garbage", Input::file, "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x01\0,\xff\xfe"s, allTests,
       "Odd number of fields for list of criteria in data.csv at line 1\n"},
      {"a byte-order mark alone", Input::file, "\xEF\xBB\xBF", readOnly,
       "Empty list of works in data.csv\n"},
      {"carriage returns alone as line ends", Input::file,
       "Threshold:,0.05,k,Crit,\r,,,1,\rw1,One,3,10,\r\rw2,Two,4,12,\r", readOnly,
       "Empty list of data for work n. 2in data.csv at line 4: a blank line between two works "
       "would shift the numbers of the works after it\n"},
      // Very long lines.
      {"a very long name in a short work line", Input::file, withWorkLine("w3," + longName + ",1"),
       allTests, "Odd number of fields for list of work n. 3in data.csv at line 5 (work \"w3\")\n"},
      {"5000 criteria and a work one pair short", Input::file,
       manyCriteria + "\n" + manyDirections + "\n" + shortWork + "\n", allTests,
       "wrong number of fields for list of work n. 1in data.csv at line 3 (work \"w1\"): 5000 "
       "criteria need 5000 pairs of counts, the work has 4999\n"},
      // Mistakes of spreadsheets and their users, each named where it stands.
      {"no direction", Input::file, "Threshold:,0.05,k,Crit,\n\nw1,One,3,10,\n", allTests,
       "Missing direction of criterium n. 1 in data.csv at line 2, field 4 (criterion \"k\"): "
       "write 1 or -1 on line 2 under the criterion's long name\n"},
      {"a percentage without its sign", Input::file,
       tests::dataFile({{"k", "Crit"}}, {{"w1", "One", {3, 10}}}, "5", "\n"), allTests,
       "Threshold \"5\" outside (0, 1] for list of criteria in data.csv at line 1, field 2: a "
       "threshold is a share of 1; for 5 percent write 5%\n"},
      {"a spreadsheet workbook", Input::file, "PK\x03\x04\x14\0\x06\0\b\0\0\0!\0,\x02\0\0PK"s,
       allTests, "Damaged or truncated zip archive data.csv: Not a zip archive\n"},
      {"a very long name in a message", Input::file, withWorkLine(longName + "/,W,1,2,"), allTests,
       "Invalid short name \"" + longName.substr(0, 80) +
           "...\" of work n. 3 in data.csv at line 5, field 1: short names become parts of file "
           "names, which cannot hold /, \\ or a NUL byte\n"},
      // Workbooks that cannot be read, whatever the file's name; each costs little time and
      // memory, however much its parts claim or inflate to.
      {"a legacy .xls", Input::file, workbook("legacy.xls"), readOnly,
       "data.csv is a legacy Excel workbook (.xls) or another OLE compound file: save it as "
       ".xlsx, .ods or CSV\n"},
      {"a truncated workbook", Input::file, workbook("truncated.xlsx"), readOnly,
       "Damaged or truncated zip archive data.csv: Not a zip archive\n"},
      {"a damaged sheet", Input::file, workbook("corrupt.xlsx"), readOnly,
       "Damaged entry xl/worksheets/sheet1.xml of data.csv: Zlib error: data error\n"},
      {"a stored sheet changed after its CRC was computed", Input::file, workbook("wrong_crc.xlsx"),
       readOnly, "Damaged entry xl/worksheets/sheet1.xml of data.csv: CRC error\n"},
      {"a zip bomb whose sizes lie", Input::file, workbook("bomb.xlsx"), readOnly,
       "Entry xl/worksheets/sheet1.xml of data.csv inflates more than 1000 times its packed "
       "size: refused as a zip bomb\n"},
      {"a long comment before the sheet's data, its sizes lying", Input::file,
       workbook("lying_sizes.xlsx"), readOnly,
       "Damaged entry xl/worksheets/sheet1.xml of data.csv: Zip archive inconsistent\n"},
      {"a tag of millions of attributes", Input::file, workbook("many_attributes.xlsx"), readOnly,
       "Entry xl/worksheets/sheet1.xml of data.csv needs more than 33554432 bytes of memory to "
       "parse: refused, a workbook's XML needs far less\n"},
      {"nested entities", Input::file, workbook("entities.xlsx"), readOnly,
       "Document type declaration in xl/sharedStrings.xml of data.csv: refused, a workbook has "
       "none\n"},
      {"data on the second sheet", Input::file, workbook("empty_first_sheet.xlsx"), readOnly,
       "First sheet Notes of data.csv is empty: the data are read from the first sheet of a "
       "workbook; move the data sheet first, or save it as CSV\n"},
      {"notes on the first sheet, the data on the second", Input::file,
       workbook("notes_first.xlsx"), readOnly,
       "Odd number of fields for list of criteria in data.csv at row 1 of Notes: brevox reads the "
       "first sheet, Notes, which holds no data set: move the data sheet first, or save it as "
       "CSV\n"},
      {"notes on the first table, the data on the second", Input::file, workbook("notes_first.ods"),
       readOnly,
       "Odd number of fields for list of criteria in data.csv at row 1 of Notes: brevox reads the "
       "first sheet, Notes, which holds no data set: move the data sheet first, or save it as "
       "CSV\n"},
      {"a row repeated a million times", Input::file, workbook("huge.ods"), readOnly,
       "More than 2000000 cells in sheet Huge of data.csv\n"},
      {"a cell's string value of 1.5 MiB", Input::file, workbook("long_string_value.ods"), readOnly,
       "Text of more than 1048576 bytes in data.csv at cell Long!A1, or of more than 134217728 "
       "bytes in its sheet\n"},
      {"a zip archive of a CSV file", Input::file, workbook("not_a_workbook.zip"), readOnly,
       "Zip archive data.csv holds no workbook: neither xl/workbook.xml of an .xlsx nor the "
       "mimetype of an .ods\n"},
      {"a date among the counts", Input::file, workbook("kinds.xlsx"), readOnly,
       "Date or time \"45296\" in data.csv at cell Kinds!C4, which must hold a count\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir folder;
    std::vector<std::string> before;
    if (c.input == Input::file) {
      tests::writeFile(folder.path() / "data.csv", c.contents);
      before = {"data.csv"};
    } else if (c.input == Input::folder) {
      std::filesystem::create_directory(folder.path() / "data.csv");
    }
    const tests::ProgramRun run = runProgram(c.arguments, folder.path());
    EXPECT_EQ(run.err, c.message);
    EXPECT_EQ(run.exitCode, 255);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(fileNames(folder.path()), before);
  }
}

}  // namespace
}  // namespace brevox
