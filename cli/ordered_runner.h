// Work on many items on a few threads, with what each gives handed on in the items' order.
#ifndef VARNHOLT_CLI_ORDERED_RUNNER_H
#define VARNHOLT_CLI_ORDERED_RUNNER_H

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace cli {

/// Calls `work(i)` for every i below `count` and `emit(i, result)` for each in the order of i,
/// on the calling thread, as soon as the results up to i are there. With `threads` 0 everything
/// happens on the calling thread, one item after the other; otherwise up to `threads` threads
/// (never more than there are items) each take the next item not yet taken, so a slow item
/// holds up the output but not the work. An exception thrown by `work` is thrown again from
/// here when its item's turn to be emitted comes, after the threads have stopped. When the
/// system gives fewer threads than asked for, the ones it gave do the work (the calling thread,
/// if it gave none).
template <class Result, class Work, class Emit>
void RunInOrder(std::size_t count, unsigned threads, Work work, Emit emit) {
  if (threads == 0) {
    for (std::size_t i = 0; i < count; ++i) {
      Result result = work(i);
      emit(i, result);
    }
    return;
  }
  struct Slot {
    std::optional<Result> result;
    std::exception_ptr failure;
    bool done = false;
  };
  std::vector<Slot> slots(count);
  std::mutex mutex;
  std::condition_variable ready;
  std::atomic<std::size_t> next{0};
  std::atomic<bool> stop{false};
  auto worker = [&] {
    for (;;) {
      if (stop) return;
      const std::size_t i = next++;
      if (i >= count) return;
      std::optional<Result> result;
      std::exception_ptr failure;
      try {
        result.emplace(work(i));
      } catch (...) {
        failure = std::current_exception();
      }
      {
        std::lock_guard<std::mutex> lock(mutex);
        slots[i].result = std::move(result);
        slots[i].failure = failure;
        slots[i].done = true;
      }
      ready.notify_all();
    }
  };
  std::vector<std::thread> pool;
  const std::size_t wanted = std::min<std::size_t>(threads, count);
  for (std::size_t t = 0; t < wanted; ++t) {
    try {
      pool.emplace_back(worker);
    } catch (const std::system_error&) {
      break;
    }
  }
  if (pool.empty()) {
    RunInOrder<Result>(count, 0, work, emit);
    return;
  }
  auto finish = [&] {
    stop = true;
    for (std::thread& thread : pool) thread.join();
  };
  for (std::size_t i = 0; i < count; ++i) {
    Slot slot;
    {
      std::unique_lock<std::mutex> lock(mutex);
      ready.wait(lock, [&] { return slots[i].done; });
      slot.result = std::move(slots[i].result);
      slot.failure = slots[i].failure;
      slots[i].result.reset();
    }
    if (slot.failure) {
      finish();
      std::rethrow_exception(slot.failure);
    }
    try {
      emit(i, *slot.result);
    } catch (...) {
      finish();
      throw;
    }
  }
  finish();
}

}  // namespace cli

#endif
