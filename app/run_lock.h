#pragma once

#include <string>

namespace brevox {

/// The lock file of a run, in its working directory.
inline constexpr const char* kRunLockFile = ".brevox.lock";

/// A run's hold on its working directory: two runs in one folder would mix their files.
struct RunLock {
  int descriptor = -1;  ///< -1 when not held
  /// Why the lock could not be taken, when it was refused: the system's reason, or what stands
  /// under the lock file's name.
  std::string fault;
};

enum class LockOutcome {
  taken,
  heldByAnotherRun,
  /// The lock file can be neither made nor locked (a folder that cannot be written, a folder or
  /// a symbolic link under its name...): the run must not go on unlocked.
  refused,
};

/// Takes an advisory lock (flock) on kRunLockFile, making it as a regular file of the working
/// directory when it is missing, without waiting for another run to let it go. Nothing but a
/// regular file is opened under the name, and never through a symbolic link. While the lock is
/// held, an interrupted run removes the file.
LockOutcome takeRunLock(RunLock& lock);

/// Removes the lock file and lets the lock go; nothing when it is not held.
void releaseRunLock(RunLock& lock);

}  // namespace brevox
