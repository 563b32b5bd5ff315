#pragma once

#include <string>

namespace brevox {

/// What an interrupted run prints on standard error.
inline constexpr char kInterruptedMessage[] =
    "The run was interrupted: its results are incomplete\n";

/// What a run that ran out of memory prints on standard error, before a line end.
inline constexpr char kNotEnoughMemory[] = "Not enough memory to finish the run";

// No signal handler ends a run: the interrupts are held back from every thread of the run and
// taken by one thread of its own with sigwait, which waits as any thread may for a file being
// created or the lock changing hands. Only a crash, which cannot wait, is handled where it hits.

/// For the length of a run: SIGINT, SIGTERM, SIGHUP (the terminal closed) and SIGQUIT remove the
/// run's temporary files and then its lock file, print "The run was interrupted: its results are
/// incomplete" on standard error and end the process with exit code 255 (-1). Files already
/// renamed into place stay: they are complete. A signal that the process was started ignoring
/// stays ignored. SIGPIPE and SIGXFSZ are ignored, so that a closed pipe on standard output or a
/// file beyond `ulimit -f` is a failed write that the run sees, not the end of the process. When
/// the run is the whole process, a crash (SIGSEGV, SIGBUS, SIGFPE, SIGABRT) removes the same files
/// on a stack kept for it and ends the process with the same signal. To be called before the run
/// starts a thread: the threads inherit the interrupts held back.
void catchInterrupts(bool wholeProcess);

/// Gives these signals back the handling they had before catchInterrupts; those held to the end
/// stay held.
void releaseInterrupts();

/// For its life, keeps an interrupt from ending the run, while something must not be cut in half
/// by the ending of the run; one at a time, and not around the creation of a file.
struct InterruptHold {
  InterruptHold();
  ~InterruptHold();
  InterruptHold(const InterruptHold&) = delete;
  InterruptHold& operator=(const InterruptHold&) = delete;
};

/// From now on an interrupt changes nothing, and SIGPIPE and SIGXFSZ are held back from the
/// calling thread until the process ends: a run that has finished neither claims to be
/// interrupted nor dies of a late signal on its way out.
void holdInterruptsToTheEnd();

/// The record of one file that an interrupted run removes. Records are never freed: a crash may
/// walk them at any moment, and a record given back serves a later file.
struct RemovalRecord;

/// The folder in which the files to remove are named, and the lock file: the working directory
/// (AT_FDCWD) unless the run writes into a folder of its own, open as `descriptor`.
void setRemovalFolder(int descriptor);

/// Creates `path` of the removal folder, which must not exist yet (not even as a symbolic link),
/// for writing, and has it removed if the run is interrupted before releaseRemovableFile. Returns
/// the descriptor and sets `record`; on failure returns -1 with errno set. Safe to call from
/// several threads at once; as many files as the system lets the process open may wait for removal
/// at once.
[[nodiscard]] int createRemovableFile(const std::string& path, RemovalRecord*& record);

/// The file of `record` no longer needs removing: it was renamed into place or removed. Nothing
/// for nullptr.
void releaseRemovableFile(RemovalRecord* record);

/// Returns at once unless the run is being ended by an interrupt on another thread; then it never
/// returns. A file operation that failed calls it before reporting: the interrupt may have removed
/// the file, and the run's one message is the interruption's.
void stopIfInterrupted();

/// Ends the process as an interrupt does (the run's temporary files and lock file removed, exit
/// code 255), but with `message`, `detail` (nullptr for none) and a line end on standard error in
/// place of the interruption's message: for a failure in a library that cannot go back
/// to the run, such as one that has run out of memory and would otherwise abort. Allocates
/// nothing.
[[noreturn]] void endRunNow(const char* message, const char* detail);

/// Has `path` (a text that lives as long as the process, or nullptr for none) removed after the
/// temporary files when the run is interrupted: the lock file of the run.
void setLockFileToRemove(const char* path);

}  // namespace brevox
