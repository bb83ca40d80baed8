// The serial frame receiver on a queue filled by the test, and PairSwap.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "frames.h"
#include "pty_peer.h"
#include "queue_sleeper.h"

using namespace std::chrono_literals;
using transfer::CByteQueue;
using transfer::SerialReceiver;

namespace {

struct Rx {
  CByteQueue queue;
  std::atomic<bool> running{true};
  SerialReceiver receiver;
  uint8_t buffer[transfer::kSerialFrameBuffer] = {};
  Rx() {
    receiver.queue = &queue;
    receiver.running = [this] { return running.load(); };
    receiver.bodyWait = 200ms;
  }
  void Put(const std::vector<uint8_t>& bytes) {
    ASSERT_TRUE(queue.PushChunk(bytes.data(), bytes.size()));
  }
  int Take() { return transfer::RxPacket_Download(receiver, buffer); }
};

TEST(FrameReceiver, ChecksTheSumAndStoresTheFrameFromPsnOn) {
  Rx rx;
  EXPECT_EQ(rx.Take(), -1);  // empty queue: at once
  std::vector<uint8_t> payload(255);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i * 7);
  auto frame = testpeer::EncodeFrame(9, 5, payload);
  ASSERT_EQ(frame.size(), 263u);
  rx.Put(frame);
  EXPECT_EQ(rx.Take(), 0);
  EXPECT_TRUE(std::equal(frame.begin() + 4, frame.end(), rx.buffer));  // 259 bytes
  rx.Put(testpeer::EncodeFrame(9, 5, {1, 2, 3}, 1));
  EXPECT_EQ(rx.Take(), -2);
  EXPECT_EQ(rx.queue.Count(), 0);  // the bad frame is consumed
  rx.Put(testpeer::EncodeFrame(10, 6, {}));
  EXPECT_EQ(transfer::RxPacket_Upload(rx.receiver, rx.buffer), 0);
  EXPECT_EQ(rx.buffer[1], 6);
}

TEST(FrameReceiver, AcceptsHaXVoAndKeepsAPartlyMatchedMagicAcrossCalls) {
  Rx rx;
  auto frame = testpeer::EncodeFrame(1, 6, {});
  std::vector<uint8_t> odd = {'H', 'a', 'X'};
  odd.insert(odd.end(), frame.begin() + 2, frame.end());
  rx.Put(odd);
  EXPECT_EQ(rx.Take(), 0);
  EXPECT_EQ(rx.buffer[0], 1);

  rx.Put({'H', 'a'});  // all that a call finds queued
  EXPECT_EQ(rx.Take(), -1);
  rx.Put(std::vector<uint8_t>(frame.begin() + 2, frame.end()));
  EXPECT_EQ(rx.Take(), 0);

  rx.Put({0x00, 0x11, 0x22});  // no magic among the queued bytes: they are consumed
  EXPECT_EQ(rx.Take(), -1);
  EXPECT_EQ(rx.queue.Count(), 0);
}

TEST(FrameReceiver, AStoppedSessionOrAMissingBodyEndsTheWait) {
  Rx rx;
  rx.Put({'H', 'a', 'V', 'o', 1, 5, 10, 1, 2});  // the body stops arriving
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(rx.Take(), -1);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);

  rx.receiver.bodyWait = 60s;
  rx.Put({'H', 'a', 'V', 'o', 1, 5, 10});
  std::thread stopper([&] {
    testpeer::WaitForSleeper(rx.queue);
    rx.running = false;
    rx.queue.Wake();
  });
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(rx.Take(), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
  stopper.join();
  rx.Put({'H', 'a', 'V', 'o', 1, 6, 0, 7});  // a complete frame, but the session stopped
  EXPECT_EQ(rx.Take(), -1);
}

TEST(FrameReceiver, TheBodyMayArriveLater) {
  Rx rx;
  rx.receiver.bodyWait = 60s;
  auto frame = testpeer::EncodeFrame(3, 8, {0, 1, 0});
  rx.Put(std::vector<uint8_t>(frame.begin(), frame.begin() + 6));
  std::thread feeder([&] {
    testpeer::WaitForSleeper(rx.queue);
    rx.Put(std::vector<uint8_t>(frame.begin() + 6, frame.end()));
  });
  EXPECT_EQ(rx.Take(), 0);
  feeder.join();
  EXPECT_EQ(rx.buffer[2], 3);
}

TEST(PairSwap, SwapsPairsAndTakesInTheSpareByteOfAnOddCount) {
  std::vector<uint8_t> usbFrame = {'H', 'a', 'V', 'o', 0, 1, 0, 0, 1, 0xEE};
  transfer::PairSwap(usbFrame.data(), 9);  // a USB frame with LEN 0 is 9 bytes
  EXPECT_EQ(usbFrame, (std::vector<uint8_t>{'a', 'H', 'o', 'V', 1, 0, 0, 0, 0xEE, 1}));
  std::vector<uint8_t> same = {1, 2};
  transfer::PairSwap(same.data(), 0);
  transfer::PairSwap(nullptr, 4);
  EXPECT_EQ(same, (std::vector<uint8_t>{1, 2}));
}

}  // namespace
