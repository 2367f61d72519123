#include "handoff.h"

#include <gtest/gtest.h>

#include <chrono>
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

// A reader that stops early (a read that failed half-way) ends the thread: the destructor
// returns although the ring is full and nobody takes more.
TEST(Handoff, StoppingTheReaderEndsTheThread) {
  std::vector<int> ring(4);
  {
    cct_direct::Handoff handoff(4);
    handoff.Start([&] {
      for (size_t k = 0;; ++k) {
        if (!handoff.WaitForRoom(k)) return;
        ring[k % 4] = static_cast<int>(k);
        handoff.Publish(k + 1);
      }
    });
    handoff.WaitFor(2);
    handoff.Release(3);
  }
  SUCCEED();
}

}  // namespace
