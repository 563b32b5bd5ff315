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
using tests::helpText;
using tests::runProgram;
using tests::TempDir;

// A valid data file of one criterion and two works, with `line` added as a third work line.
std::string withWorkLine(const std::string& line) {
  return "Threshold:,0.05,k,Crit,\n,,,1,\nw1,One,3,10,\nw2,Two,4,12,\n" + line;
}

// A valid data file whose work line 2 holds `counts` after the names.
std::string withCounts(const std::string& counts) {
  return "Threshold:,0.05,k,Crit,\n,,,1,\nw1,One,3,10,\nw2,Two," + counts + "\n";
}

// A valid data file whose first line holds `threshold` as its threshold.
std::string withThreshold(const std::string& threshold) {
  return "Threshold:," + threshold + ",k,Crit,\n,,,1,\nw1,One,3,10,\nw2,Two,4,12,\n";
}

TEST(BadInput, EndsWithItsMessageAndWritesNothing) {
  // How the case lays out its working folder before the run.
  enum class Input { file, folder, none };
  struct Case {
    const char* name;
    Input input;
    std::string contents;  // of "data.csv"
    std::vector<std::string> arguments;
    std::string message;  // exact standard error
    int exitCode;
    bool help;  // standard output is the help text rather than nothing
  };
  const std::string longName(200000, 'n');
  std::string manyCriteria = "Threshold:,0.05";
  std::string shortWork = "w1,One";
  for (int k = 1; k <= 5000; ++k) {
    manyCriteria += ",k" + std::to_string(k) + ",Criterion " + std::to_string(k);
    if (k < 5000) shortWork += ",1,2";
  }
  const std::vector<std::string> readOnly = {"data.csv", "-0"};
  const std::vector<std::string> allTests = {"data.csv"};
  const Case cases[] = {
      // Truncated files and lines.
      {"empty file", Input::file, "", readOnly, "Empty list of works in data.csv\n", 255, false},
      {"criteria line only", Input::file, "Threshold:,0.05,k,Crit,\n", allTests,
       "Empty list of works in data.csv\n", 255, false},
      {"cut inside the criteria line", Input::file, "Threshold:,0.05,k", readOnly,
       "Odd number of fields for list of criteria in data.csv\n", 255, false},
      {"cut inside a count pair", Input::file, withWorkLine("w3,Three,3"), allTests,
       "Odd number of fields for list of work n. 3in data.csv\n", 255, false},
      {"cut after the names", Input::file, withWorkLine("w3,Three"), readOnly,
       "Empty list of data for work n. 3in data.csv\n", 255, false},
      // Odd and wrong field counts.
      {"odd directions line", Input::file, "Threshold:,0.05,k,Crit,\n,,,1,,\nw1,One,3,10,\n",
       readOnly, "Odd number of fields for list of criteria in data.csv\n", 255, false},
      {"no criterion pair", Input::file, "Threshold:,0.05\n,,\nw1,One,3,10,\n", readOnly,
       "Empty list of criteria in data.csv\n", 255, false},
      {"criteria line of one comma", Input::file, ",\n,,\nw1,One,3,10,\n", readOnly,
       "Odd number of fields for list of criteria in data.csv\n", 255, false},
      {"two count pairs for one criterion", Input::file, withWorkLine("w3,Three,1,2,3,4,"),
       allTests, "wrong number of fields for list of work n. 3in data.csv\n", 255, false},
      {"two trailing commas", Input::file, withWorkLine("w3,Three,1,2,,"), readOnly,
       "Odd number of fields for list of work n. 3in data.csv\n", 255, false},
      // Blank lines.
      {"blank line between works", Input::file,
       "Threshold:,0.05,k,Crit,\n,,,1,\nw1,One,3,10,\n\nw2,Two,4,12,\n", allTests,
       "Empty list of data for work n. 2in data.csv\n", 255, false},
      {"blank line at the end", Input::file, withWorkLine("\n"), readOnly,
       "Empty list of data for work n. 3in data.csv\n", 255, false},
      {"blank CR LF line at the end", Input::file, withWorkLine("\r\n"), readOnly,
       "Empty list of data for work n. 3in data.csv\n", 255, false},
      {"blank first line", Input::file, "\nThreshold:,0.05,k,Crit,\n,,,1,\nw1,One,3,10,\n",
       readOnly, "Empty list of criteria in data.csv\n", 255, false},
      // Numbers that do not fit, or that the tests cannot use.
      {"total above the 32-bit range", Input::file, withCounts("4,99999999999"), allTests,
       "Invalid total count \"99999999999\" of criterium n. 1 for work n. 2 in data.csv\n", 255,
       false},
      {"observed just above the 32-bit range", Input::file, withCounts("2147483648,2147483647"),
       allTests,
       "Invalid observed count \"2147483648\" of criterium n. 1 for work n. 2 in data.csv\n", 255,
       false},
      {"total too large for the exact tests", Input::file, withCounts("4,536870912"), allTests,
       "Total count 536870912 above 536870911 of criterium n. 1 for work n. 2 in data.csv\n", 255,
       false},
      {"negative observed count", Input::file, withCounts("-1,12"), allTests,
       "Negative observed count \"-1\" of criterium n. 1 for work n. 2 in data.csv\n", 255, false},
      {"negative total", Input::file, withCounts("0,-12"), allTests,
       "Negative total count \"-12\" of criterium n. 1 for work n. 2 in data.csv\n", 255, false},
      {"observed above total", Input::file, withCounts("13,12"), allTests,
       "Observed count 13 above total 12 of criterium n. 1 for work n. 2 in data.csv\n", 255,
       false},
      {"count without digits", Input::file, withCounts("four,12"), allTests,
       "Invalid observed count \"four\" of criterium n. 1 for work n. 2 in data.csv\n", 255, false},
      {"empty count", Input::file, withCounts("4,"), allTests,
       "Odd number of fields for list of work n. 2in data.csv\n", 255, false},
      {"empty total between commas", Input::file, withCounts("4,,"), allTests,
       "Invalid total count \"\" of criterium n. 1 for work n. 2 in data.csv\n", 255, false},
      {"threshold without a number", Input::file, withThreshold("five percent"), readOnly,
       "Invalid threshold \"five percent\" for list of criteria in data.csv\n", 255, false},
      {"threshold 0", Input::file, withThreshold("0"), allTests,
       "Threshold \"0\" outside (0, 1] for list of criteria in data.csv\n", 255, false},
      {"negative threshold", Input::file, withThreshold("-0.05"), allTests,
       "Threshold \"-0.05\" outside (0, 1] for list of criteria in data.csv\n", 255, false},
      {"threshold above 1", Input::file, withThreshold("5"), allTests,
       "Threshold \"5\" outside (0, 1] for list of criteria in data.csv\n", 255, false},
      {"huge threshold", Input::file, withThreshold("1e999"), allTests,
       "Invalid threshold \"1e999\" for list of criteria in data.csv\n", 255, false},
      {"threshold not a number", Input::file, withThreshold("nan"), allTests,
       "Invalid threshold \"nan\" for list of criteria in data.csv\n", 255, false},
      {"direction without digits", Input::file, "Threshold:,0.05,k,Crit,\n,,,up,\nw1,One,3,10,\n",
       readOnly, "Invalid direction \"up\" of criterium n. 1 in data.csv\n", 255, false},
      // Names with separators.
      {"work short name with a slash", Input::file, withWorkLine("../w3,Three,1,2,"), allTests,
       "Invalid short name \"../w3\" of work n. 3 in data.csv\n", 255, false},
      {"criterion short name with a backslash", Input::file,
       "Threshold:,0.05,a\\k,Crit,\n,,,1,\nw1,One,3,10,\n", allTests,
       "Invalid short name \"a\\k\" of criterium n. 1 in data.csv\n", 255, false},
      {"work short name with a NUL byte", Input::file, withWorkLine("w\0003,Three,1,2,"s), allTests,
       "Invalid short name \"w\\x003\" of work n. 3 in data.csv\n", 255, false},
      {"work name with a comma", Input::file, withWorkLine("w3,Three, the third,1,2,"), allTests,
       "Invalid observed count \" the third\" of criterium n. 1 for work n. 3 in data.csv\n", 255,
       false},
      {"semicolons for commas", Input::file, "Threshold:;0.05;k;Crit;\n;;;1;\nw1;One;3;10;\n",
       readOnly, "Odd number of fields for list of criteria in data.csv\n", 255, false},
      // Files that are not data files.
      {"a folder", Input::folder, "", allTests,
       "Failed to open file data.csv for reading: Is a directory\n", 255, false},
      {"a missing file",
       Input::none,
       "",
       {"absent.csv", "-FP"},
       "Failed to open file absent.csv for reading: No such file or directory\n",
       255,
       false},
      {"an option string but no file",
       Input::none,
       "",
       {"-B"},
       "Failed to open file  for reading: No such file or directory\n",
       255,
       false},
      {"binary garbage", Input::file, "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x01\0,\xff\xfe"s, allTests,
       "Odd number of fields for list of criteria in data.csv\n", 255, false},
      {"a byte-order mark alone", Input::file, "\xEF\xBB\xBF", readOnly,
       "Odd number of fields for list of criteria in data.csv\n", 255, false},
      {"a byte-order mark before a work line", Input::file,
       withWorkLine("\xEF\xBB\xBFw3,Three,1,2,3"), readOnly,
       "Odd number of fields for list of work n. 3in data.csv\n", 255, false},
      {"carriage returns alone as line ends", Input::file,
       "Threshold:,0.05,k,Crit,\r,,,1,\rw1,One,3,10,\r", readOnly,
       "Empty list of works in data.csv\n", 255, false},
      // Very long lines.
      {"a very long name in a short work line", Input::file, withWorkLine("w3," + longName + ",1"),
       allTests, "Odd number of fields for list of work n. 3in data.csv\n", 255, false},
      {"5000 criteria and a work one pair short", Input::file,
       manyCriteria + "\n,,\n" + shortWork + "\n", allTests,
       "wrong number of fields for list of work n. 1in data.csv\n", 255, false},
      // Command lines.
      {"no argument", Input::none, "", {}, "", 0, true},
      {"unknown option letter", Input::file, withWorkLine(""), {"data.csv", "-Fx"}, "", 0, true},
      {"single test with two numbers",
       Input::file,
       withWorkLine(""),
       {"data.csv", "-1B", "1", "2"},
       "",
       0,
       true},
      {"single test without a test letter", Input::none, "", {"-D1", "1", "1", "2"}, "", 0, true},
      {"single test with two test letters", Input::none, "", {"-D1BC", "1", "1", "2"}, "", 0, true},
      {"merged graph of one test twice", Input::none, "", {"-DMbb"}, "", 0, true},
      {"merged graph of an unselected test", Input::none, "", {"-DCMcb"}, "", 0, true},
      {"criterion beyond the data",
       Input::none,
       "",
       {"-D1B", "7", "1", "2"},
       "Criterium n. 7 does not exist\n",
       255,
       false},
      {"work beyond the data",
       Input::none,
       "",
       {"-D1F", "1", "1", "99"},
       "Work n. 99 does not exist\n",
       255,
       false},
      {"numbers without digits",
       Input::none,
       "",
       {"-D1C", "c1", "wa2", "wb3"},
       "Criterium n. 0 does not exist\n",
       255,
       false},
      {"negative number",
       Input::none,
       "",
       {"-D1P", "-1", "1", "2"},
       "Criterium n. 4294967295 does not exist\n",
       255,
       false},
      {"huge number",
       Input::none,
       "",
       {"-D1P", "99999999999", "1", "2"},
       "Criterium n. 2147483647 does not exist\n",
       255,
       false},
      {"single test on a work without cases",
       Input::none,
       "",
       {"-D1B", "2", "7", "1"},
       "Work n. 7 has no case of criterium n. 2\n",
       255,
       false},
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
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.out, c.help ? helpText() : "");
    EXPECT_EQ(fileNames(folder.path()), before);
  }
}

TEST(BadInput, ByteOrderMarkBeforeTheIgnoredFirstFieldIsHarmless) {
  const std::string data = "Threshold:,0.05,k,Crit,\n,,,1,\nw1,One,3,10,\nw2,Two,4,12,\n";
  std::string written[2];
  for (int withMark = 0; withMark < 2; ++withMark) {
    TempDir folder;
    tests::writeFile(folder.path() / "data.csv", (withMark ? "\xEF\xBB\xBF" : "") + data);
    const tests::ProgramRun run = runProgram({"data.csv", "-0"}, folder.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    written[withMark] = tests::readFile(folder.path() / "T_input_data.csv");
  }
  EXPECT_EQ(written[1], written[0]);
  EXPECT_EQ(written[0],
            "Threshold:,0.05,k,Crit,\r\n,,,1,,-1,,-1,,-1,,-1,,-1,\r\n"
            "w1,One,3,10,\r\nw2,Two,4,12,\r\n");
}

}  // namespace
}  // namespace brevox
