#pragma once

#include <string>

#include "io/failure.h"

namespace brevox {

/// The lock file of a run, in its output folder.
inline constexpr const char* kRunLockFile = ".brevox.lock";

/// A run's hold on its output folder: two runs in one folder would mix their files.
struct RunLock {
  int descriptor = -1;  ///< -1 when not held
};

/// Takes an advisory lock (flock) on kRunLockFile, making it as a regular file of the output
/// folder (io/output_file.h) when it is missing, without waiting for another run to let it go.
/// Nothing but a regular file is opened under the name, and never through a symbolic link. While
/// the lock is held, an interrupted run removes the file. Fails when another run holds the lock
/// ("Another run is writing in this folder (it holds .brevox.lock): this run wrote nothing"), or
/// when the file can be neither made nor locked (a folder that cannot be written, a folder or a
/// symbolic link under its name...), which the run must not go on without: "Failed to lock this
/// folder with .brevox.lock (" + the system's reason or what stands under the name + "): this run
/// wrote nothing", then the folder, `shownFolder`, and the option that names another.
[[nodiscard]] Outcome takeRunLock(RunLock& lock, const std::string& shownFolder);

/// Removes the lock file and lets the lock go; nothing when it is not held.
void releaseRunLock(RunLock& lock);

}  // namespace brevox
