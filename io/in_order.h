#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <vector>

#include "io/run_thread.h"

namespace brevox {

namespace in_order_detail {

/// Where a computed item waits for its turn: item i in slot i % window.
template <typename Job>
struct Slot {
  Job job;
  bool done = false;
  std::exception_ptr failure;
};

/// What the workers and the calling thread share. Each side is woken only when the other has
/// something for it: at a pair's pace, a wake-up per item would cost the run a tenth of its time
/// in the system's scheduler.
template <typename Job>
struct Ring {
  std::size_t count = 0;
  std::size_t window = 0;
  std::vector<Slot<Job>> slots;
  std::mutex mutex;
  std::condition_variable room;      ///< workers wait here for an item within the window
  std::condition_variable takeable;  ///< the calling thread waits here for the item it takes next
  std::size_t next = 0;              ///< the next item to compute
  std::size_t consumed = 0;          ///< the items taken by the calling thread
  unsigned workersWaiting = 0;
  bool callerWaiting = false;
  bool stop = false;

  bool free() const { return !stop && next < count && next < consumed + window; }
};

// Computes item i into its slot and marks it done; wakes the calling thread if it waits for it.
template <typename Job, typename Compute>
void computeItem(Ring<Job>& ring, Compute& compute, std::size_t i, bool inPlace) {
  // The slot is this thread's alone until the item is done: its last item has been taken.
  Slot<Job>& slot = ring.slots[i % ring.window];
  slot.job = Job{};
  std::exception_ptr failure;
  try {
    compute(i, slot.job, inPlace);
  } catch (...) {
    failure = std::current_exception();
  }
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(ring.mutex);
    slot.done = true;
    slot.failure = failure;
    wake = ring.callerWaiting && i == ring.consumed;
  }
  if (wake) ring.takeable.notify_one();
}

// A worker: computes the items that are free to compute until none is left or the calling
// thread stops.
template <typename Job, typename Compute>
void computeItems(Ring<Job>& ring, Compute& compute) {
  for (;;) {
    std::size_t i = 0;
    {
      std::unique_lock<std::mutex> lock(ring.mutex);
      // Items are left, but none within the window: wait for the calling thread to take one.
      while (!ring.stop && ring.next < ring.count && ring.next >= ring.consumed + ring.window) {
        ++ring.workersWaiting;
        ring.room.wait(lock);
        --ring.workersWaiting;
      }
      if (!ring.free()) return;
      i = ring.next++;
    }
    computeItem(ring, compute, i, false);
  }
}

// The calling thread: takes the items in order as they are done, and computes items of its own
// while the next to take is not. Returns whether every item was taken; rethrows the exception
// of an item's compute in the place of its take.
template <typename Job, typename Compute, typename Take>
bool takeItems(Ring<Job>& ring, Compute& compute, Take& take) {
  for (std::size_t i = 0; i < ring.count;) {
    Slot<Job>& slot = ring.slots[i % ring.window];
    std::size_t own = ring.count;
    {
      std::unique_lock<std::mutex> lock(ring.mutex);
      if (!slot.done && ring.free()) {
        own = ring.next++;
      } else if (!slot.done) {
        ring.callerWaiting = true;
        ring.takeable.wait(lock, [&] { return slot.done; });
        ring.callerWaiting = false;
      }
    }
    if (own != ring.count) {
      // The next item to take, computed here, may write to the console as it goes.
      computeItem(ring, compute, own, own == i);
      continue;
    }
    if (slot.failure) std::rethrow_exception(slot.failure);
    const bool goOn = take(i, slot.job);
    bool wake = false;
    {
      std::lock_guard<std::mutex> lock(ring.mutex);
      slot.done = false;
      ++ring.consumed;
      wake = ring.workersWaiting > 0;
    }
    if (wake) ring.room.notify_one();
    if (!goOn) return false;
    ++i;
  }
  return true;
}

}  // namespace in_order_detail

/// Computes items 0 .. count - 1 on `threads` threads, the calling thread among them, and takes
/// them on the calling thread in the order of i, each as soon as it is computed. compute(i, job,
/// inPlace) fills `job` (a fresh Job) for item i; inPlace is true where it runs on the calling
/// thread just before take(i, job), so that it may write to the console as it goes, and false
/// elsewhere. Item i waits in slot i % window of a ring of `window` jobs: no more than `window`
/// computed items wait to be taken, and the bookkeeping does not grow with `count`. take(i, job)
/// returns false to stop: nothing after i is taken, and the workers stop once their items are
/// computed. A worker gets a stack of kWorkerStackBytes; one that cannot be started (the system's
/// limit on threads, or on memory for their stacks and tables: see startWorkers) leaves the items
/// to those that could; with none of them, or with one thread, compute and take alternate on the
/// calling thread. An exception of compute(i) is thrown again from this call, in the place of
/// take(i), once the workers have stopped. Returns whether every item was taken.
template <typename Job, typename Compute, typename Take>
[[nodiscard]] bool computeInOrder(std::size_t count, unsigned threads, std::size_t window,
                                  Compute compute, Take take) {
  auto oneAfterTheOther = [&] {
    Job job;
    for (std::size_t i = 0; i < count; ++i) {
      job = Job{};
      compute(i, job, true);
      if (!take(i, job)) return false;
    }
    return true;
  };
  if (threads <= 1 || window == 0) return oneAfterTheOther();
  in_order_detail::Ring<Job> ring;
  ring.count = count;
  ring.window = window;
  ring.slots.resize(window);
  const std::function<void()> work = [&] { in_order_detail::computeItems(ring, compute); };
  std::vector<RunThread> workers;
  const unsigned started = startWorkers(workers, threads - 1, work);
  if (started == 0) return oneAfterTheOther();
  auto stopWorkers = [&] {
    {
      std::lock_guard<std::mutex> lock(ring.mutex);
      ring.stop = true;
    }
    ring.room.notify_all();
    for (RunThread& worker : workers) joinRunThread(worker);
  };
  bool complete = false;
  try {
    complete = in_order_detail::takeItems(ring, compute, take);
  } catch (...) {
    stopWorkers();
    throw;
  }
  stopWorkers();
  return complete;
}

}  // namespace brevox
