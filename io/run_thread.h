#pragma once

#include <pthread.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace brevox {

/// The stack of a worker thread of the run, whatever `ulimit -s` gives the process: the threads
/// would otherwise inherit the shell's limit, however small.
inline constexpr std::size_t kWorkerStackBytes = std::size_t{8} << 20;

/// The address space that the allocator takes for the tables of a thread of its own: 64 MiB, the
/// arena of GNU libc on 64-bit systems.
inline constexpr std::size_t kArenaBytes = std::size_t{64} << 20;

/// What the workers leave free of a limit on the address space for the calling thread's tables.
inline constexpr std::size_t kRoomKeptForTheRun = std::size_t{64} << 20;

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
                                  std::size_t stackBytes);

/// Starts up to `wanted` workers, each running `work` with a stack of kWorkerStackBytes, into
/// `workers`, and returns how many started: fewer where the system cannot start more, and under a
/// limit on the address space (`ulimit -v`) no more than leave room for a stack and an arena each
/// and kRoomKeptForTheRun beside them. Past that, the workers' first tables would leave the run
/// short of memory or not as they happen to come. The stacks and arenas of earlier workers,
/// which the process keeps, count as room again. Not called from two threads at once.
[[nodiscard]] unsigned startWorkers(std::vector<RunThread>& workers, unsigned wanted,
                                    const std::function<void()>& work);

/// The bytes of address space that a limit on it (`ulimit -v`) leaves the process beyond what it
/// has mapped now; empty where no limit is set or the mapped bytes cannot be read.
std::optional<unsigned long long> addressSpaceLeft();

/// Gives the threads that libraries start for themselves (Graphviz's text layout starts
/// fontconfig's) a stack of at least kWorkerStackBytes: by default they would take `ulimit -s`,
/// however small. Called before any such thread starts.
void widenLibraryThreadStacks();

/// Runs `work` on a thread of its own with a stack of kWorkerStackBytes and waits for its end, so
/// that the run's deep calls (Graphviz's layout among them) do not depend on `ulimit -s`. The
/// thread starts with the calling thread's signal mask, and the calling thread, which only waits,
/// holds every signal from then on, so that the run's own threads alone hear them. Returns false,
/// with nothing run and the mask as it was, where the thread cannot be started or a limit on the
/// address space leaves no room for its stack and tables beside kRoomKeptForTheRun.
[[nodiscard]] bool runOnAStackOfItsOwn(const std::function<void()>& work);

/// Waits for the end of a started thread; nothing for one that was not started.
void joinRunThread(RunThread& thread);

}  // namespace brevox
