#pragma once

#include <signal.h>

#include <string>

namespace brevox {

/// For the length of a run: SIGINT and SIGTERM remove the run's temporary files and then its lock
/// file, print "The run was interrupted: its results are incomplete" on standard error and end
/// the process with exit code 255 (-1). Files already renamed into place stay: they are complete.
/// A signal that the process was started ignoring stays ignored.
void catchInterrupts();

/// Gives SIGINT and SIGTERM back the handling they had before catchInterrupts.
void releaseInterrupts();

/// Holds SIGINT and SIGTERM back from the calling thread, keeping its mask before in `previous`,
/// while something must not be cut in half by the ending of the run.
void holdInterrupts(sigset_t& previous);

/// Gives the calling thread back the mask that holdInterrupts kept.
void resumeInterrupts(const sigset_t& previous);

/// Holds SIGINT and SIGTERM back from the calling thread until the process ends: a run that has
/// finished neither claims to be interrupted nor dies of a late signal on its way out.
void holdInterruptsToTheEnd();

/// Creates `path`, which must not exist yet, for writing, and has it removed if the run is
/// interrupted before releaseRemovableFile. Returns the descriptor and sets `slot`; on failure
/// returns -1 with errno set (EMFILE when too many such files are open at once). Safe to call from
/// several threads at once.
int createRemovableFile(const std::string& path, int& slot);

/// The file of `slot` no longer needs removing: it was renamed into place or removed.
void releaseRemovableFile(int slot);

/// Returns at once unless the run is being ended by an interrupt on another thread; then it never
/// returns. A file operation that failed calls it before reporting: the handler may have removed
/// the file, and the run's one message is the interruption's.
void stopIfInterrupted();

/// Has `path` (a text that lives as long as the process, or nullptr for none) removed after the
/// temporary files when the run is interrupted: the lock file of the run.
void setLockFileToRemove(const char* path);

}  // namespace brevox
