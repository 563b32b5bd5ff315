#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <string>

#include "app/options.h"
#include "tests/test_support.h"

namespace brevox {
namespace {

using tests::fileNames;
using tests::helpText;
using tests::ProgramRun;
using tests::runProgram;
using tests::TempDir;

TEST(CommandLine, PrintsHelpWhenMissingOrRejected) {
  const std::vector<std::vector<std::string>> commandLines = {
      {},
      {"-Dx"},
      {"-D1"},
      {"-D1BC", "1", "1", "2"},
      {"-D1B", "1", "2"},
      {"data.csv", "-1B", "1", "2"},
      {"data.csv", "-x"},
      {"-DMbb"},
      {"-DCMcb"},
  };
  for (const auto& arguments : commandLines) {
    SCOPED_TRACE(::testing::PrintToString(arguments));
    TempDir folder;
    const tests::ProgramRun run = runProgram(arguments, folder.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, helpText());
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(fileNames(folder.path()).empty());
  }
}

TEST(CommandLine, WritesTheBuiltInDataWithD0) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {"-D0"}, {"-0D"}, {"missing.csv", "-D0"}, {"-D0", "ignored", "arguments"}}) {
    SCOPED_TRACE(::testing::PrintToString(arguments));
    TempDir folder;
    const tests::ProgramRun run = runProgram(arguments, folder.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "\n\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(tests::compareWithGolden(folder.path(), "input_data_default"), "");
  }
}

TEST(CommandLine, ReadsTheFileNamedFirst) {
  TempDir folder;
  tests::writeFile(folder.path() / "mine.csv", "x,0.1,a,Alpha,\n,,,-1,\nw1,One,1,4\nw2,Two,2,9,\n");
  const tests::ProgramRun run = runProgram({"mine.csv", "-0"}, folder.path());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
  // The file names a single criterion; the directions of the built-in criteria 2 to 6 remain.
  EXPECT_EQ(tests::readFile(folder.path() / "T_input_data.csv"),
            "Threshold:,0.1,a,Alpha,\r\n,,,-1,,-1,,-1,,-1,,-1,,-1,\r\n"
            "w1,One,1,4,\r\nw2,Two,2,9,\r\n");
}

TEST(CommandLine, RunsAlikeOnTheDataAsSpreadsheetsSaveIt) {
  const std::string plain =
      tests::readFile(tests::goldenFolder("input_data_default") / "T_input_data.csv");
  // Each dialect spelled out from the plain text, character by character. Every line of it ends
  // with a comma, which closes its last field: quoting opens a field after each comma but that one.
  std::string quoted = "\"";
  std::string semicolons;
  std::string wideRows;
  std::string carriageReturns;
  std::string utf16 = "\xFF\xFE";
  for (std::size_t i = 0; i < plain.size(); ++i) {
    const char c = plain[i];
    const bool lastComma = c == ',' && plain.compare(i + 1, 2, "\r\n") == 0;
    quoted += c == ',' ? std::string(lastComma ? "\"," : "\",\"") : std::string(1, c);
    if (c == '\n' && i + 1 < plain.size()) quoted += '"';
    semicolons += c == ',' ? ';' : c;
    wideRows += c == '\r' ? std::string(",,\r") : std::string(1, c);
    if (c != '\n') carriageReturns += c;
    utf16 += std::string{c, '\0'};
  }
  semicolons.replace(semicolons.find("0.05"), 4, "0,05");
  const std::string dialects[] = {
      quoted, semicolons, plain + ",,,,\r\n\r\n", wideRows, carriageReturns, utf16,
  };
  TempDir input;
  TempDir plainRun;
  tests::writeFile(input.path() / "plain.csv", plain);
  const tests::ProgramRun expected =
      runProgram({(input.path() / "plain.csv").string()}, plainRun.path());
  for (const std::string& text : dialects) {
    SCOPED_TRACE(text);
    TempDir folder;
    tests::writeFile(input.path() / "saved.csv", text);
    const tests::ProgramRun run =
        runProgram({(input.path() / "saved.csv").string()}, folder.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, expected.out);
    EXPECT_EQ(tests::compareFolders(folder.path(), plainRun.path()), "");
  }
}

TEST(CommandLine, RunsAlikeOnAWorkbookAndItsCsvFile) {
  const std::filesystem::path workbooks =
      std::filesystem::path(BREVOX_SOURCE_DIR) / "tests" / "workbooks";
  const std::filesystem::path builtIn =
      tests::goldenFolder("input_data_default") / "T_input_data.csv";
  struct Case {
    const char* workbook;
    std::filesystem::path csv;
    const char* sheet;
  };
  const Case cases[] = {
      {"builtin.xlsx", builtIn, "builtin"},
      {"builtin.ods", builtIn, "builtin"},
      {"stored_kinds.xlsx", builtIn, "Counts"},
      {"greek.xlsx", workbooks / "greek.csv", "\xE1\xBC\x9C\xCF\x80\xCE\xB7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.workbook);
    TempDir fromCsv;
    TempDir fromWorkbook;
    const tests::ProgramRun expected = runProgram({c.csv.string(), "-H"}, fromCsv.path());
    // Named as a CSV file: the content decides.
    TempDir input;
    std::filesystem::copy_file(workbooks / c.workbook, input.path() / "counts.csv");
    const tests::ProgramRun run =
        runProgram({(input.path() / "counts.csv").string(), "-H"}, fromWorkbook.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, expected.out);
    // The page names the file and its sheet; everything else is the same, byte for byte.
    const std::string page = tests::readFile(fromWorkbook.path() / "brevox_report.html");
    EXPECT_NE(page.find("<code>" + (input.path() / "counts.csv").string() +
                        "</code>, sheet <code>" + c.sheet + "</code>"),
              std::string::npos);
    std::filesystem::remove(fromWorkbook.path() / "brevox_report.html");
    std::filesystem::remove(fromCsv.path() / "brevox_report.html");
    EXPECT_EQ(tests::compareFolders(fromWorkbook.path(), fromCsv.path()), "");
  }
}

TEST(CommandLine, WritesOutputFileNamesOf255Bytes) {
  // The longest summary name and the longest report name both have 255 bytes.
  TempDir folder;
  tests::writeFile(folder.path() / "data.csv",
                   "x,0.05," + std::string(234, 'c') + ",C,\n,,,1,\nwwww,W,3,10,\nvvvvv,V,7,9,\n");
  const tests::ProgramRun run = runProgram({"data.csv", "-NMbf"}, folder.path());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
}

TEST(CommandLine, EndsWithAMessageWhenMemoryRunsOut) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit this test sets";
#endif
  TempDir folder;
  // Four hundred thousand works take more memory to hold than the limit set here, within which
  // a run on a few works fits.
  std::string works = ",0.05,k,K,\n,,,1,\n";
  for (int work = 1; work <= 400000; ++work) {
    works += "w" + std::to_string(work) + ",W,1,2,\n";
  }
  tests::writeFile(folder.path() / "big.csv", works);
  tests::ChildSettings settings;
  settings.addressSpaceLimit = std::size_t{64} << 20;
  const ProgramRun run =
      tests::runCommand(BREVOX_EXE, {"big.csv", "-1F", "1", "1", "2"}, folder.path(), settings);
  EXPECT_EQ(run.exitCode, 255);
  EXPECT_EQ(run.err, "Not enough memory to finish the run\n");
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "fishTest.csv"));
}

}  // namespace
}  // namespace brevox
