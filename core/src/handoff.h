// The hand-off between a thread that fills the slots of a ring one after the other and the reader
// that takes them in the same order (the direct reader's helper threads).
#ifndef CCT_HANDOFF_H
#define CCT_HANDOFF_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

#include "direct_scan.h"

namespace cct_direct {

// The counters between a thread that fills the slots of a ring one after the other and the
// reader that takes them in the same order. Each side keeps a copy of the other's counter and
// reads the shared one only when its copy falls short: every reading of it is a trip to the
// other core.
class Handoff {
 public:
  explicit Handoff(size_t slots) : slots_(slots) {}
  /// Stops the thread and waits for it.
  ~Handoff() {
    Stop();
    if (thread_.joinable()) thread_.join();
  }
  Handoff(const Handoff&) = delete;
  Handoff& operator=(const Handoff&) = delete;

  /// Runs the thread's side. (Whatever it uses must be made before, and go after, this object.)
  template <class Run>
  void Start(Run run) {
    thread_ = std::thread(run);
  }

  // The reader's side.

  /// Gives the slots before k back to the thread.
  void Release(size_t k) { released_.store(k, std::memory_order_release); }
  /// Whether slot k is filled, as far as the reader knows without asking.
  bool Filled(size_t k) const { return k < filledHere_; }
  /// Waits until slot k is filled.
  void WaitFor(size_t k) {
    if (k >= filledHere_) filledHere_ = filled_.load(std::memory_order_acquire);
    // The thread is mostly just a little behind when it is: a short spin saves the sleep and
    // the wake-up.
    for (int spin = 0; k >= filledHere_ && spin < 4000; ++spin) {
      Pause();
      filledHere_ = filled_.load(std::memory_order_acquire);
    }
    if (k < filledHere_) return;
    // (Sequentially consistent: the reader says it sleeps and then looks at the counter, the
    // thread stores the counter and then looks whether the reader sleeps; weaker orders could
    // let both miss each other.)
    std::unique_lock<std::mutex> lock(mutex_);
    readerWaiting_ = true;
    wake_.wait(lock, [&] { return filled_ > k; });
    readerWaiting_ = false;
    filledHere_ = filled_;
  }
  void Stop() { stop_ = true; }

  // The thread's side.

  /// Waits until slot k may be filled; false when the reader has stopped the thread. With every
  /// slot filled, the thread naps until half of them are free again: the reader never has to
  /// wake it.
  bool WaitForRoom(size_t k) {
    if (k >= releasedHere_ + slots_) {
      // The slots before k are filled: the reader is told before the thread naps, since it may
      // be waiting for one of them that no batch has published yet, and then it would never
      // give back the room the thread waits for.
      if (filled_.load(std::memory_order_relaxed) < k) Publish(k);
      while (k + slots_ / 2 > releasedHere_ + slots_) {
        if (stop_) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
        releasedHere_ = released_.load(std::memory_order_acquire);
      }
    }
    return !stop_;
  }
  bool ReaderWaiting() const { return readerWaiting_.load(std::memory_order_relaxed); }
  /// The slots before `count` are filled.
  void Publish(size_t count) {
    filled_ = count;
    if (readerWaiting_) {
      std::lock_guard<std::mutex> lock(mutex_);
      wake_.notify_all();
    }
  }

 private:
  // Each side's own counter and copy in a cache line of its own: sharing a line, one side's
  // writes would take it from the other each time.
  const size_t slots_;
  alignas(64) std::atomic<size_t> filled_{0};  // slots [0, filled_) are filled
  size_t releasedHere_ = 0;                    // the thread's copy of released_
  alignas(64) std::atomic<size_t> released_{0};  // slots [0, released_) are given back
  size_t filledHere_ = 0;                        // the reader's copy of filled_
  alignas(64) std::atomic<bool> readerWaiting_{false};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread thread_;
};

}  // namespace cct_direct

#endif
