#pragma once

namespace brevox {

/// The lock file of a run, in its working directory.
inline constexpr const char* kRunLockFile = ".brevox.lock";

/// A run's hold on its working directory: two runs in one folder would mix their files.
struct RunLock {
  int descriptor = -1;  ///< -1 when not held
};

enum class LockOutcome {
  taken,
  heldByAnotherRun,
  /// The lock file can be neither made nor locked, as in a folder that cannot be written: the
  /// run goes on, and its files say why they cannot be written.
  unavailable,
};

/// Takes an advisory lock (flock) on kRunLockFile, making the file when it is missing, without
/// waiting for another run to let it go. While it is held, an interrupted run removes the file.
LockOutcome takeRunLock(RunLock& lock);

/// Removes the lock file and lets the lock go; nothing when it is not held.
void releaseRunLock(RunLock& lock);

}  // namespace brevox
