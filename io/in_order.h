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

/// What the workers and the calling thread share.
template <typename Job>
struct Ring {
  std::size_t count = 0;
  std::size_t window = 0;
  std::vector<Slot<Job>> slots;
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t next = 0;      ///< the next item a worker takes
  std::size_t consumed = 0;  ///< the items taken by the calling thread
  bool stop = false;
};

// A worker: computes the items that are free to compute, each in its slot, until none is left or
// the calling thread stops.
template <typename Job, typename Compute>
void computeItems(Ring<Job>& ring, Compute& compute) {
  for (;;) {
    std::size_t i = 0;
    {
      std::unique_lock<std::mutex> lock(ring.mutex);
      ring.changed.wait(lock, [&] {
        return ring.stop || ring.next >= ring.count || ring.next < ring.consumed + ring.window;
      });
      if (ring.stop || ring.next >= ring.count) return;
      i = ring.next++;
    }
    // The slot is this worker's alone until the item is done: its last item has been taken.
    Slot<Job>& slot = ring.slots[i % ring.window];
    slot.job = Job{};
    std::exception_ptr failure;
    try {
      compute(i, slot.job, false);
    } catch (...) {
      failure = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(ring.mutex);
      slot.done = true;
      slot.failure = failure;
    }
    ring.changed.notify_all();
  }
}

// The calling thread: takes the items in order as they are done. Returns whether every item was
// taken; rethrows the exception of an item's compute in the place of its take.
template <typename Job, typename Take>
bool takeItems(Ring<Job>& ring, Take& take) {
  for (std::size_t i = 0; i < ring.count; ++i) {
    Slot<Job>& slot = ring.slots[i % ring.window];
    std::exception_ptr failure;
    {
      std::unique_lock<std::mutex> lock(ring.mutex);
      ring.changed.wait(lock, [&] { return slot.done; });
      failure = slot.failure;
    }
    if (failure) std::rethrow_exception(failure);
    const bool goOn = take(i, slot.job);
    {
      std::lock_guard<std::mutex> lock(ring.mutex);
      slot.done = false;
      ++ring.consumed;
    }
    ring.changed.notify_all();
    if (!goOn) return false;
  }
  return true;
}

}  // namespace in_order_detail

/// Computes items 0 .. count - 1 on up to `threads` worker threads and takes them on the calling
/// thread in the order of i, each as soon as it is computed. compute(i, job, inPlace) fills `job`
/// (a fresh Job) for item i; inPlace is true where it runs on the calling thread just before
/// take(i, job), so that it may write to the console as it goes, and false on a worker. Item i
/// waits in slot i % window of a ring of `window` jobs: no more than `window` computed items wait
/// to be taken, and the bookkeeping does not grow with `count`. take(i, job) returns false to
/// stop: nothing after i is taken, and the workers stop once their items are computed. A worker
/// gets a stack of kWorkerStackBytes; one that cannot be started (the system's limit on threads,
/// or on memory for their stacks and tables: see startWorkers) leaves the items to those that
/// could; with none
/// of them, or with one thread, compute and take alternate on the calling thread. An exception of
/// compute(i) is thrown again from this call, in the place of take(i), once the workers have
/// stopped. Returns whether every item was taken.
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
  const unsigned started = startWorkers(workers, threads, work);
  if (started == 0) return oneAfterTheOther();
  auto stopWorkers = [&] {
    {
      std::lock_guard<std::mutex> lock(ring.mutex);
      ring.stop = true;
    }
    ring.changed.notify_all();
    for (RunThread& worker : workers) joinRunThread(worker);
  };
  bool complete = false;
  try {
    complete = in_order_detail::takeItems(ring, take);
  } catch (...) {
    stopWorkers();
    throw;
  }
  stopWorkers();
  return complete;
}

}  // namespace brevox
