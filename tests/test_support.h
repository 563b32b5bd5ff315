#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "stats/pair_comparison.h"

namespace brevox::tests {

/// The table of a occurrences in nA cases against b in nB, as work 1 against work 2 under
/// criterion 1.
PairComparison table(std::uint32_t a, std::uint32_t nA, std::uint32_t b, std::uint32_t nB);

/// A criterion of a data file: its short and long names and its direction (1 or -1).
struct DataCriterion {
  std::string shortName;
  std::string longName;
  int direction = 1;
};

/// A work of a data file: its short and long names, then its occurrences and cases under each
/// criterion in turn.
struct DataWork {
  std::string shortName;
  std::string longName;
  std::vector<std::uint32_t> counts;
};

/// The text of a data file in the layout that T_input_data.csv has: "Threshold:", the threshold
/// and the criteria's names on the first line, their directions under the long names on the
/// second, then a line per work; every line ends with a comma and `lineEnd`.
std::string dataFile(const std::vector<DataCriterion>& criteria, const std::vector<DataWork>& works,
                     const std::string& threshold = "0.05", const std::string& lineEnd = "\r\n");

/// A fresh empty folder under the system's temporary folder, removed with its contents at the end
/// of the scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

/// A data file holding `text`, kept outside the folders that runs write in (so that they hold only
/// what the program wrote), and removed at the end of the scope.
struct DataFile {
  explicit DataFile(const std::string& text);
  TempDir folder;
  std::string path;
};

/// What a run of the real program printed and returned.
struct ProgramRun {
  std::string out;
  std::string err;
  int exitCode = -1;  ///< as the shell sees it, 0 to 255
};

/// Who runs the program: the tests' own user, or the user nobody, for whom a folder of root's
/// with the usual permissions cannot be written (only root can switch to it).
enum class RunAs { self, nobody };

/// How a child process is started.
struct ChildSettings {
  RunAs user = RunAs::self;
  std::size_t addressSpaceLimit = 0;  ///< bytes of address space the child may use; 0: no limit
  std::size_t descriptorLimit = 0;    ///< files the child may hold open at once; 0: no limit
  std::size_t stackLimit = 0;         ///< bytes of stack (`ulimit -s`); 0: the tests' own
  std::size_t fileSizeLimit = 0;      ///< bytes a file may grow to (`ulimit -f`); 0: no limit
  /// A descriptor (the writing end of a pipe) that the child gets as its standard output in place
  /// of a captured file; -1 for none.
  int standardOutput = -1;
};

/// Runs `program` with `arguments` (without the program name) in `folder` and captures what it
/// printed. The captured output files live outside `folder`, so the folder holds only what the
/// program wrote. A child that could not be started, limited or switched to its user exits with
/// 127. SIGINT and SIGTERM reach it with their default handling, as from an interactive shell.
ProgramRun runCommand(const std::string& program, const std::vector<std::string>& arguments,
                      const std::filesystem::path& folder, const ChildSettings& settings = {});

/// A child started by startCommand and not yet waited for.
struct StartedCommand {
  int pid = -1;
  std::unique_ptr<TempDir> capture;  ///< where its standard output and error go
};

/// Starts what runCommand runs, without waiting for it.
StartedCommand startCommand(const std::string& program, const std::vector<std::string>& arguments,
                            const std::filesystem::path& folder,
                            const ChildSettings& settings = {});

/// Waits for a started child and returns what it printed and returned.
ProgramRun finishCommand(StartedCommand& started);

/// runCommand on build/brevox.
ProgramRun runProgram(const std::vector<std::string>& arguments,
                      const std::filesystem::path& folder, RunAs user = RunAs::self);

/// runProgram on a data file holding `data`, kept outside `folder` (so that the folder holds only
/// what the program wrote), with `options` after the file's path.
ProgramRun runOnData(const std::string& data, const std::vector<std::string>& options,
                     const std::filesystem::path& folder);

/// The help text as the program prints it.
std::string helpText();

std::string readFile(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, const std::string& contents);

/// Names of the regular files in `folder`, sorted.
std::vector<std::string> fileNames(const std::filesystem::path& folder);

/// The folder of a golden scenario: tests/golden/<scenario> in the source tree.
std::filesystem::path goldenFolder(const std::string& scenario);

/// Compares every file of `folder` byte for byte with the golden scenario; a missing or an extra
/// file is a difference. Returns an empty text when they agree, else a description of the first
/// differences. With BREVOX_UPDATE_GOLDEN=1 in the environment the golden folder is rewritten
/// from `folder` instead (review every diff before committing it).
std::string compareWithGolden(const std::filesystem::path& folder, const std::string& scenario);

/// Compares every file of `folder` byte for byte with those of the folder `golden`, as above.
std::string compareFolders(const std::filesystem::path& folder,
                           const std::filesystem::path& golden);

}  // namespace brevox::tests
