#include "decode/ordered_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace {

struct Scratch {};

using Pool = decode::OrderedPool<int, int, Scratch>;

TEST(OrderedPool, HandsResultsOnInPushOrderHoldingAtMostAheadItems) {
  for (const unsigned workers : {1u, 2u, 5u}) {
    SCOPED_TRACE(workers);
    std::atomic<int> held{0};
    std::atomic<int> mostHeld{0};
    Pool pool(workers, 3, [](int& item, Scratch&) {
      // Later items finish first: order must come from the pool.
      std::this_thread::sleep_for(std::chrono::microseconds((7 - item % 7) * 200));
      return item * 10;
    });
    std::thread producer([&] {
      for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(pool.Push(i));
        const int now = ++held;
        for (int most = mostHeld; now > most && !mostHeld.compare_exchange_weak(most, now);) {
        }
      }
      pool.Close();
    });
    int expected = 0;
    while (const std::optional<int> result = pool.Pop()) {
      --held;
      EXPECT_EQ(*result, expected * 10);
      ++expected;
    }
    producer.join();
    EXPECT_EQ(expected, 40);
    EXPECT_LE(mostHeld.load(), 3 + 1) << "pushed and not yet popped (the count lags by one pop)";
  }
}

TEST(OrderedPool, AFailingItemFailsAtItsTurnAndOnePushingThreadCanDriveIt) {
  Pool pool(2, 2, [](int& item, Scratch&) {
    if (item == 3) throw std::runtime_error("item 3");
    return item;
  });
  int popped = 0;
  bool failed = false;
  for (int i = 0; i < 6 && !failed; ++i) {
    if (pool.Full()) {
      try {
        EXPECT_EQ(*pool.Pop(), popped);
        ++popped;
      } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "item 3");
        failed = true;
      }
    }
    if (!failed) pool.Push(i);
  }
  while (!failed) {
    try {
      pool.Pop();
      ++popped;
    } catch (const std::runtime_error&) {
      failed = true;
    }
  }
  EXPECT_EQ(popped, 3);
  pool.Stop();
  EXPECT_FALSE(pool.Push(9));
  EXPECT_FALSE(pool.Pop());
}

}  // namespace
