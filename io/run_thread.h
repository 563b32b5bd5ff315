#pragma once

#include <pthread.h>

#include <cstddef>
#include <functional>

namespace brevox {

/// The stack of a worker thread of the run, whatever `ulimit -s` gives the process: the threads
/// would otherwise inherit the shell's limit, however small.
inline constexpr std::size_t kWorkerStackBytes = std::size_t{8} << 20;

/// What a worker leaves free of a limit on the address space (`ulimit -v`) beside its stack: the
/// room that the run's tables, and the allocator of each thread that starts with its first table,
/// take beyond the stacks.
inline constexpr std::size_t kRoomKeptBesideWorkers = std::size_t{128} << 20;

/// Whether the process may map one more worker's stack and still keep kRoomKeptBesideWorkers of
/// its limit on the address space free; always without a limit. Workers started beyond it would
/// leave the run short of memory: it would end for want of it, or not, as the threads' first
/// tables happen to come.
[[nodiscard]] bool roomForAWorker();

/// A thread of the run, started by startRunThread and not yet joined.
struct RunThread {
  pthread_t handle{};
  bool started = false;
};

/// Starts `work` on a new thread with a stack of `stackBytes`, on which a part is kept for the
/// crash handler (io/interrupt.h), so that a stack that overflows can still be cleaned up after.
/// `work` must live until joinRunThread; an exception that leaves it ends the process, as from a
/// std::thread. Fails when the system cannot start a thread now (its limit on threads, or on
/// memory for their stacks).
[[nodiscard]] bool startRunThread(RunThread& thread, const std::function<void()>& work,
                                  std::size_t stackBytes = kWorkerStackBytes);

/// Waits for the end of a started thread; nothing for one that was not started.
void joinRunThread(RunThread& thread);

}  // namespace brevox
