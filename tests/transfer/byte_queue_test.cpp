// The serial receive queue: capacity, wrap-around, and one producer with one consumer.
#include "byte_queue.h"
#include "queue_sleeper.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace std::chrono_literals;
using transfer::CByteQueue;

TEST(ByteQueue, HoldsAtMost8191BytesAndCountsAcrossTheWrap) {
  CByteQueue q;
  for (int i = 0; i < 8191; ++i) ASSERT_TRUE(q.Push(static_cast<uint8_t>(i)));
  EXPECT_FALSE(q.Push(0));
  EXPECT_EQ(q.Count(), 8191);
  uint8_t b = 0;
  for (int i = 0; i < 8000; ++i) ASSERT_TRUE(q.Pop(b));
  EXPECT_EQ(b, static_cast<uint8_t>(7999));
  // Head wraps past index 8191.
  for (int i = 0; i < 500; ++i) ASSERT_TRUE(q.Push(static_cast<uint8_t>(i + 100)));
  EXPECT_EQ(q.Count(), 691);
  for (int i = 8000; i < 8191; ++i) {
    ASSERT_TRUE(q.Pop(b));
    EXPECT_EQ(b, static_cast<uint8_t>(i));
  }
  for (int i = 0; i < 500; ++i) {
    ASSERT_TRUE(q.Pop(b));
    EXPECT_EQ(b, static_cast<uint8_t>(i + 100));
  }
  EXPECT_FALSE(q.Pop(b));
  EXPECT_EQ(q.Count(), 0);
}

TEST(ByteQueue, AChunkIsTakenWholeOnlyWhenItFits) {
  CByteQueue q;
  std::vector<uint8_t> chunk(2048, 0x11);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(q.PushChunk(chunk.data(), chunk.size()));
  EXPECT_EQ(q.Free(), 8191 - 6144);
  std::vector<uint8_t> big(q.Free() + 1, 0x22);
  EXPECT_FALSE(q.PushChunk(big.data(), big.size()));
  EXPECT_EQ(q.Count(), 6144);  // nothing of the refused chunk entered
  big.pop_back();
  EXPECT_TRUE(q.PushChunk(big.data(), big.size()));
  EXPECT_EQ(q.Count(), 8191);
  q.Reset();
  EXPECT_EQ(q.Count(), 0);
  EXPECT_TRUE(q.Push(7));
  uint8_t b = 0;
  EXPECT_TRUE(q.Pop(b));
  EXPECT_EQ(b, 7);
}

TEST(ByteQueue, ProducerAndConsumerOnTwoThreadsKeepEveryByteInOrder) {
  CByteQueue q;
  constexpr int kTotal = 200000;
  std::thread producer([&] {
    uint8_t chunk[97];
    for (int sent = 0; sent < kTotal;) {
      const int n = std::min<int>(97, kTotal - sent);
      for (int i = 0; i < n; ++i) chunk[i] = static_cast<uint8_t>((sent + i) % 251);
      if (q.PushChunk(chunk, static_cast<size_t>(n)))
        sent += n;
      else
        std::this_thread::yield();
    }
  });
  int received = 0;
  bool inOrder = true;
  const auto until = std::chrono::steady_clock::now() + 60s;
  while (received < kTotal && std::chrono::steady_clock::now() < until) {
    uint8_t b;
    if (q.Pop(b)) {
      inOrder = inOrder && b == received % 251;
      ++received;
    } else {
      q.WaitForData(std::chrono::steady_clock::now() + 100ms, nullptr);
    }
  }
  producer.join();
  EXPECT_EQ(received, kTotal);
  EXPECT_TRUE(inOrder);
}

TEST(ByteQueue, AWaitEndsOnDataOnStopOrAtItsDeadline) {
  CByteQueue q;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(q.WaitForData(start + 50ms, nullptr));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
  EXPECT_FALSE(q.WaitForData(start, nullptr));  // a deadline already past
  std::atomic<bool> stop{false};
  std::thread stopper([&] {
    testpeer::WaitForSleeper(q);
    stop = true;
    q.Wake();
  });
  EXPECT_FALSE(q.WaitForData(std::chrono::steady_clock::now() + 60s, [&] { return stop.load(); }));
  stopper.join();
  std::thread feeder([&] {
    testpeer::WaitForSleeper(q);
    const uint8_t b = 1;
    q.PushChunk(&b, 1);
  });
  EXPECT_TRUE(q.WaitForData(std::chrono::steady_clock::now() + 60s, nullptr));
  feeder.join();
  EXPECT_TRUE(q.WaitForData(start, nullptr));  // past its deadline, a queued byte still counts
}
