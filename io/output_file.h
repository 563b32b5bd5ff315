#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "io/failure.h"
#include "io/file_buffer.h"
#include "io/interrupt.h"

namespace brevox {

// Every output file, the lock and the manifest of a run are written into one output folder: the
// working directory, or the folder that the run opened with openOutputFolder, which is reached
// through a descriptor of its own, so that the folder stays the same whatever its path comes to
// mean meanwhile, and the process's working directory is never changed. Names of files are
// names within that folder; the data file is still read from the working directory.

/// Makes the output folder `path` when it is missing (the folder above it must exist) and writes
/// into it from now on, as the process's one output folder; `made` says whether it was made.
/// `shownPath` is the path as messages show it: file names in messages are prefixed with it.
/// Fails, and changes nothing, with "Failed to make the output folder " + shownPath or "Failed to
/// open the output folder " + shownPath and the system's reason.
[[nodiscard]] Outcome openOutputFolder(const std::string& path, const std::string& shownPath,
                                       bool& made);

/// Writes into the working directory again and lets the output folder go; with `removeIfEmpty`,
/// a folder that openOutputFolder made is removed when nothing stands in it.
void closeOutputFolder(bool removeIfEmpty);

/// The descriptor of the output folder, or AT_FDCWD for the working directory.
int outputFolderDescriptor();

/// A file of the output folder as messages name it: `name` itself in the working directory, else
/// behind the folder's path.
std::string shownOutputName(const std::string& name);

/// What a file is, as a manifest records it and as the data file is told from a file of the
/// output folder.
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t seconds = 0;  ///< the time of its last modification
  std::int64_t nanoseconds = 0;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};

/// The stamp of the regular file `name` of the output folder, not through a symbolic link;
/// nothing for anything else or nothing at all.
std::optional<FileStamp> outputFileStamp(const std::string& name);

/// The stamp of the file that `path` leads to from the working directory; nothing when there is
/// none.
std::optional<FileStamp> pathStamp(const std::string& path);

/// A file that closeOutputFile renamed into place, with its stamp just after.
struct WrittenFile {
  std::string name;
  FileStamp stamp;
};

/// The files renamed into place since the last call, in the order in which they were closed,
/// whichever thread closed them; the record starts empty again.
std::vector<WrittenFile> takeWrittenFiles();

/// The bytes that the user may still write in the output folder's file system; nothing when the
/// system does not say.
std::optional<std::uint64_t> outputFolderFreeBytes();

/// An output file being written. Its contents go to a temporary file of a short fixed-length
/// name (".brevox-<pid>-<number>.tmp") in the output folder, made new (never through a symbolic
/// link), which closeOutputFile renames into place once everything was written: no reader ever
/// finds a part of a file under its final name, and nothing is ever opened under that name.
/// Whatever stood there, a symbolic link, a device or a pipe, is replaced by a regular file. A
/// temporary name that is taken (by what a killed run left) is tried again with another number.
struct OutputFile {
  OutputFile();
  /// A file still open is discarded: its temporary file is removed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  std::string name;  ///< the final name
  std::string temporaryName;
  int descriptor = -1;  ///< -1 when not open
  RemovalRecord* removal = nullptr;
  DescriptorBuffer buffer;
  std::ostream stream;
};

/// Opens `name` of the output folder for writing as an OutputFile. The checks of the final name
/// come first: a folder in its place, a name too long for the file system or an existing regular
/// file that may not be written fail here with the message "Failed to open file " + name + suffix
/// (name as shownOutputName shows it) and the system's reason; a temporary file that cannot be
/// created fails with the same message, the reason followed by the temporary file's name.
[[nodiscard]] Outcome openOutputFile(OutputFile& file, const std::string& name,
                                     const char* suffix = "");

/// Writes out and closes the file and renames it into place. When anything written to it was
/// lost (a full disk, an I/O error) or the rename fails, removes the temporary file and fails with
/// "Failed to write file " + name and the reason. A file that is not open fails with no message.
[[nodiscard]] Outcome closeOutputFile(OutputFile& file);

/// Closes the file and removes its temporary file: nothing reaches the final name.
void discardOutputFile(OutputFile& file);

/// Writes a whole file: opens `name` as openOutputFile does (with `openSuffix` in its message),
/// lets `writer` write the contents, and closes it as closeOutputFile does, failing as they do;
/// `writer` is not called when the file cannot be opened.
[[nodiscard]] Outcome writeFile(const std::string& name,
                                const std::function<void(std::ostream&)>& writer,
                                const char* openSuffix = "");

/// A file opened for reading; closed with the record.
struct InputFile {
  InputFile();
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  int descriptor = -1;
  DescriptorBuffer buffer;
  std::istream stream;
};

/// Opens `path` for reading. A file that cannot be opened, or a folder, fails with "Failed to
/// open file " + path + suffix and the system's reason.
[[nodiscard]] Outcome openInputFile(InputFile& file, const std::string& path,
                                    const char* suffix = "");

/// Opens the regular file `name` of the output folder for reading, never through a symbolic link
/// and without waiting on a pipe; false for anything else.
[[nodiscard]] bool openOutputFolderFile(InputFile& file, const std::string& name);

/// Opens /dev/null on each of the descriptors 0, 1 and 2 that is closed, so that no file opened
/// later takes the place of standard input, output or error.
void openClosedStandardDescriptors();

/// How many more files the process may open now: the limit on its descriptors less those open.
/// Very large when there is no limit.
std::size_t descriptorsToSpare();

/// The system's text for an errno value, as strerror gives it.
std::string systemReason(int error);

}  // namespace brevox
