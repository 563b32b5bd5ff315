#pragma once

#include <cstddef>
#include <functional>
#include <istream>
#include <ostream>
#include <string>

#include "io/failure.h"
#include "io/file_buffer.h"
#include "io/interrupt.h"

namespace brevox {

/// An output file being written. Its contents go to a temporary file of a short fixed-length
/// name (".brevox-<pid>-<counter>.tmp") in the folder of its final name, made new (never through a
/// symbolic link), which closeOutputFile renames into place once everything was written: no reader
/// ever finds a part of a file under its final name, and nothing is ever opened under that name.
/// Whatever stood there, a symbolic link, a device or a pipe, is replaced by a regular file.
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

/// Opens `name` for writing as an OutputFile. The checks of the final name come first: a folder
/// in its place, a name too long for the file system or an existing regular file that may not be
/// written fail here, as does a folder in which the temporary file cannot be created, with the
/// message "Failed to open file " + name + suffix and the system's reason.
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

/// How many more files the process may open now: the limit on its descriptors less those open.
/// Very large when there is no limit.
std::size_t descriptorsToSpare();

/// The system's text for an errno value, as strerror gives it.
std::string systemReason(int error);

}  // namespace brevox
