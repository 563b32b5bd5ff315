#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <utility>

#include "app/options.h"
#include "tests/test_support.h"

namespace brevox {
namespace {

using tests::fileNames;
using tests::helpText;
using tests::ProgramRun;
using tests::runProgram;
using tests::TempDir;

TEST(CommandLine, PrintsHelpOrRefusesWhatItCannotUse) {
  const std::string one = "Option 1 needs exactly one of the tests B, C, F, P in option string ";
  const std::string three = "Option 1 needs three numbers after ";
  const std::string position = ": give its position in the data, a whole number from 1\n";
  const std::string unexpected =
      ": give one data file, then one option string, as in brevox "
      "data.csv -FP (or brevox -DFP for the built-in data)\n";
  // After a rejected option string, the synopsis and the way to the help, not the whole help.
  const std::string synopsis =
      "\nbrevox [File] [-[D][0|1][B|C|F|P][S][N][M<t1><t2>][E][H]] [cN waN wbN] [--output DIR]\n"
      "Run brevox --help for every option.\n";
  const std::string help = helpText();
  const struct {
    std::vector<std::string> arguments;
    std::string out;  // standard output: the help, the version or nothing
    std::string err;  // empty: exit 0
  } cases[] = {
      {{}, help, ""},
      {{"-h"}, help, ""},
      {{"--help"}, help, ""},
      {{"data.csv", "-h"}, help, ""},
      {{"--version"}, "brevox 1.3.0\n", ""},
      {{"-DH", "--version"}, "brevox 1.3.0\n", ""},
      // A rejected option string: its letter named, then the synopsis.
      {{"-Dx"}, "", "Unknown letter \"x\" in option string \"-Dx\"" + synopsis},
      {{"data.csv", "-X"}, "", "Unknown letter \"X\" in option string \"-X\"" + synopsis},
      {{"-e"},
       "",
       "Unknown letter \"e\" in option string \"-e\" (letters are case sensitive: E)" + synopsis},
      {{"-DMxx"}, "", "Unknown letter \"x\" in option string \"-DMxx\"" + synopsis},
      {{"-D1BC", "1", "1", "2"}, "", one + "\"-D1BC\"" + synopsis},
      // The output folder named once, after --output or --output=, anywhere.
      {{"-D", "--output"},
       "",
       "Option --output needs a folder, as in brevox -DH --output results or "
       "--output=results\n"},
      {{"--output", "-D"},
       "",
       "Option --output needs a folder, as in brevox -DH --output results or "
       "--output=results\n"},
      {{"--output=", "-D"},
       "",
       "Option --output needs a folder, as in brevox -DH --output results or "
       "--output=results\n"},
      {{"--output=a", "-D", "--output", "b"},
       "",
       "Option --output names two folders, \"a\" and \"b\": give one\n"},
      // What cannot be used, with what to type instead.
      {{"-D", "-H"}, "", "Second option string \"-H\": put all letters in one string: -DH\n"},
      {{"data.csv", "-F", "-E"},
       "",
       "Second option string \"-E\": put all letters in one string: -FE\n"},
      {{"data.csv", "-D0"},
       "",
       "Option D uses the built-in data, but a data file is named too: brevox -D0 for the "
       "built-in data, brevox data.csv -0 for the file\n"},
      {{"-E", "data.csv"},
       "",
       "Data file \"data.csv\" after the option string \"-E\": the data file comes first: brevox "
       "data.csv -E\n"},
      {{"-B"},
       "",
       "No data file before the option string \"-B\": the data file comes first (brevox data.csv "
       "-B), or D uses the built-in data (brevox -DB)\n"},
      {{"data.csv", "D"}, "", "Unexpected argument \"D\"" + unexpected},
      {{"data.csv", "-1F", "2", "1"},
       "",
       three + "\"-1F\": the criterion, work A and work B, as in \"brevox data.csv -1F 1 1 2\"\n"},
      {{"-D1B", "1", "2", "3", "4"},
       "",
       "Unexpected argument \"4\": option 1 takes three numbers, as in brevox data.csv -1F 2 1 "
       "3\n"},
      {{"-D1F", "-1", "1", "2"}, "", "Invalid criterion number \"-1\"" + position},
      {{"-D1F", "1e1", "1", "2"}, "", "Invalid criterion number \"1e1\"" + position},
      {{"-D1F", "1", "0", "2"}, "", "Invalid work A number \"0\"" + position},
      {{"-D1C", "1", "1", "3.9"}, "", "Invalid work B number \"3.9\"" + position},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    TempDir folder;
    const tests::ProgramRun run = runProgram(c.arguments, folder.path());
    EXPECT_EQ(run.exitCode, c.err.empty() ? 0 : 255);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
    EXPECT_TRUE(fileNames(folder.path()).empty());
  }
}

TEST(CommandLine, WritesTheBuiltInDataWithD0) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{{"-D0"}, {"-0D"}}) {
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
  // The file names a single criterion: its direction alone is listed.
  EXPECT_EQ(tests::readFile(folder.path() / "T_input_data.csv"),
            "Threshold:,0.1,a,Alpha,\r\n,,,-1,\r\n"
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
  TempDir plainRun;
  const tests::ProgramRun expected = runProgram({tests::DataFile(plain).path}, plainRun.path());
  for (const std::string& text : dialects) {
    SCOPED_TRACE(text);
    TempDir folder;
    const tests::ProgramRun run = runProgram({tests::DataFile(text).path}, folder.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, expected.out);
    EXPECT_EQ(tests::compareFolders(folder.path(), plainRun.path()), "");
  }
}

TEST(CommandLine, RunsAlikeOnLibreOfficeExportsOrNamesTheCell) {
  // The built-in data saved by LibreOffice Calc (tests/spreadsheet_exports/make_exports.py) in
  // three locales, with each separator, as plain numbers, with a percent threshold, and with
  // thousands separators, which no count may hold: the first count above 999 is named.
  const std::filesystem::path exports =
      std::filesystem::path(BREVOX_SOURCE_DIR) / "tests" / "spreadsheet_exports";
  const std::pair<const char*, const char*> locales[] = {{"en", "1,810"},
                                                         {"de", "1.810"},
                                                         {"fr",
                                                          "1\xC2\xA0"
                                                          "810"}};
  TempDir plainRun;
  const tests::ProgramRun expected =
      runProgram({(tests::goldenFolder("input_data_default") / "T_input_data.csv").string(), "-S"},
                 plainRun.path());
  for (const auto& [locale, grouped] : locales) {
    for (const char* numbers : {"plain", "percent", "thousands"}) {
      for (const char* separator : {"comma", "semicolon", "tab"}) {
        const std::string file =
            (exports / (std::string(locale) + "_" + numbers + "_" + separator + ".csv")).string();
        SCOPED_TRACE(file);
        TempDir folder;
        const tests::ProgramRun run = runProgram({file, "-S"}, folder.path());
        if (std::string(numbers) != "thousands") {
          EXPECT_EQ(run.exitCode, 0);
          EXPECT_EQ(run.err, "");
          EXPECT_EQ(run.out, expected.out);
          EXPECT_EQ(tests::compareFolders(folder.path(), plainRun.path()), "");
          continue;
        }
        EXPECT_EQ(run.exitCode, 255);
        EXPECT_EQ(run.err, "Invalid total count \"" + std::string(grouped) +
                               "\" of criterium n. 1 for work n. 1 in " + file +
                               " at line 3, field 4 (work \"Iliad\", criterion \"Digamma\"): "
                               "counts are whole numbers of digits alone: save the file "
                               "without thousands separators\n");
        EXPECT_TRUE(fileNames(folder.path()).empty());
      }
    }
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
      // A name beyond ASCII is kept apart from the text around it.
      {"greek.xlsx", workbooks / "greek.csv", "<bdi>\xE1\xBC\x9C\xCF\x80\xCE\xB7</bdi>"},
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
