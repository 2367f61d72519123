#include "handoff.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

namespace {

// A thread fills the slots of a small ring with the numbers 0, 1, 2, ... while the reader takes
// them in order: every number arrives, once, in order, whatever the two sides' speeds — the
// ring wraps many times, the thread waits for room and naps, the reader spins and sleeps.
TEST(Handoff, EveryFilledSlotReachesTheReaderInOrder) {
  // Published in batches that divide the ring, as the helper threads do, and at the end.
  const struct {
    size_t slots, batch, count;
  } cases[] = {{2, 1, 3000}, {8, 8, 20000}, {1024, 8, 200000}};
  for (const auto& c : cases) {
    const size_t slots = c.slots;
    SCOPED_TRACE(slots);
    const size_t kCount = c.count;
    std::vector<size_t> ring(slots);
    cct_direct::Handoff handoff(slots);
    handoff.Start([&] {
      for (size_t k = 0; k < kCount; ++k) {
        if (!handoff.WaitForRoom(k)) return;
        ring[k % slots] = k;
        if ((k + 1) % c.batch == 0 || k + 1 == kCount || handoff.ReaderWaiting())
          handoff.Publish(k + 1);
      }
    });
    size_t wrong = 0;
    for (size_t k = 0; k < kCount; ++k) {
      handoff.WaitFor(k);
      if (ring[k % slots] != k) ++wrong;
      handoff.Release(k + 1);
    }
    EXPECT_EQ(wrong, 0u);
  }
}

// A thread that publishes only in whole batches, whose reader gives slots back one at a time and
// slowly: the thread may find the ring full with slots filled that no batch has published yet,
// and the reader waits for those. Everything still arrives.
TEST(Handoff, AThreadWaitingForRoomHasToldTheReaderAllItFilled) {
  const size_t slots = 8, batch = 8, count = 400;
  std::vector<size_t> ring(slots);
  cct_direct::Handoff handoff(slots);
  handoff.Start([&] {
    for (size_t k = 0; k < count; ++k) {
      if (!handoff.WaitForRoom(k)) return;
      ring[k % slots] = k;
      if ((k + 1) % batch == 0 || k + 1 == count) handoff.Publish(k + 1);
    }
  });
  size_t wrong = 0;
  for (size_t k = 0; k < count; ++k) {
    handoff.WaitFor(k);
    if (ring[k % slots] != k) ++wrong;
    std::this_thread::sleep_for(std::chrono::microseconds(k % 3 == 0 ? 120 : 10));
    handoff.Release(k + 1);
  }
  EXPECT_EQ(wrong, 0u);
}

// A reader that stops early (a read that failed half-way) ends the thread: with the ring full and
// nobody taking more, the thread is told to stop, returns, and the destructor's join completes.
// It never filled more than the room the reader gave it.
TEST(Handoff, StoppingTheReaderEndsTheThread) {
  constexpr size_t kSlots = 4, kReleased = 3;
  // Owned by hand: should the thread never end, the test fails instead of hanging in the
  // destructor's join, and leaves what the thread uses to the thread. (The hand-off is the last
  // member: it joins the thread before the rest goes.)
  struct Shared {
    std::vector<size_t> ring = std::vector<size_t>(kSlots);
    std::atomic<size_t> filled{0};
    std::atomic<bool> sawStop{false};
    std::promise<void> ended;
    cct_direct::Handoff handoff{kSlots};
  };
  auto* shared = new Shared;
  std::future<void> threadEnded = shared->ended.get_future();
  shared->handoff.Start([shared] {
    for (size_t k = 0;; ++k) {
      if (!shared->handoff.WaitForRoom(k)) {
        shared->sawStop = true;
        break;
      }
      shared->ring[k % kSlots] = k;
      shared->filled = k + 1;
      shared->handoff.Publish(k + 1);
    }
    shared->ended.set_value();
  });
  // The reader takes three slots and gives them back; the thread fills the ring once more and
  // waits for room.
  shared->handoff.WaitFor(kReleased - 1);
  shared->handoff.Release(kReleased);
  shared->handoff.WaitFor(kReleased + kSlots - 1);
  EXPECT_EQ(threadEnded.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout)
      << "the thread ended before it was stopped";

  shared->handoff.Stop();
  ASSERT_EQ(threadEnded.wait_for(std::chrono::seconds(10)), std::future_status::ready)
      << "the thread goes on after the reader stopped";
  EXPECT_TRUE(shared->sawStop.load());
  EXPECT_EQ(shared->filled.load(), kReleased + kSlots) << "filled slots the reader still held";
  delete shared;  // the destructor's join returns: the thread has ended
}

}  // namespace
