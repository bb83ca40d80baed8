// The bridge from worker threads to the window's thread, with a QCoreApplication loop and no
// widgets (so it also runs under ThreadSanitizer): notices sent synchronously by workers run
// on the loop's thread, in order, each worker waiting until its notice was handled; posted
// device changes run too; a handler's nested loop (a message box) runs the next messages.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "message_bridge.h"

namespace {

using namespace std::chrono_literals;

// Runs the loop until `done` or the limit; true when `done`.
bool RunUntil(const std::function<bool()>& done, std::chrono::seconds limit = 60s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    QEventLoop loop;
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

TEST(WindowBridge, WorkersWaitForTheirNoticesOnTheLoopThread) {
  constexpr int kWorkers = 3;
  constexpr int kNotices = 40;
  std::vector<int> handled;  // loop thread only
  std::atomic<int> returned[kWorkers] = {};
  bool ownThread = true;
  bool senderWaited = true;
  PwWindow window([&](const pw::Message& m) {
    ownThread = ownThread && window.IsOwnerThread();
    if (m.kind == pw::MessageKind::Command) {
      const int worker = (static_cast<int>(m.code) - 4006) / 1000;
      const int index = static_cast<int>(m.value);
      // The worker is still inside its send: it has returned from the earlier ones only.
      senderWaited = senderWaited && returned[worker].load() == index;
      handled.push_back(static_cast<int>(m.code) * 1000 + index);
    } else {
      handled.push_back(-1);
    }
    return intptr_t{m.value + 1};
  });
  app::MessageBridge bridge(window);

  std::atomic<bool> resultsRight{true};
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back([&, w] {
      for (int i = 0; i < kNotices; ++i) {
        pw::Message m;
        m.code = static_cast<uint32_t>(w * 1000 + 4006);
        m.value = i;
        if (pw::SendMessage(window.handle(), m) != i + 1) resultsRight = false;
        ++returned[w];
        pw::Message device;
        device.kind = pw::MessageKind::DeviceChange;
        device.event = pw::kDeviceArrival;
        pw::PostMessage(window.handle(), device);
      }
    });
  }
  const auto all = static_cast<size_t>(2 * kWorkers * kNotices);
  EXPECT_TRUE(RunUntil([&] { return handled.size() == all; }));
  for (auto& worker : workers) worker.join();
  EXPECT_TRUE(resultsRight.load());
  EXPECT_TRUE(ownThread);
  EXPECT_TRUE(senderWaited);
  for (int w = 0; w < kWorkers; ++w) {  // each worker's notices in the order sent
    int next = 0;
    for (int entry : handled) {
      if (entry >= 0 && entry / 1000 == w * 1000 + 4006) {
        EXPECT_EQ(entry % 1000, next++);
      }
    }
    EXPECT_EQ(next, kNotices);
  }
}

TEST(WindowBridge, ANestedLoopInAHandlerRunsTheNextMessages) {
  std::vector<uint32_t> order;
  std::atomic<bool> firstStarted{false};
  bool inFirst = false;
  bool secondRanInsideFirst = false;
  PwWindow window([&](const pw::Message& m) {
    order.push_back(m.code);
    if (m.code == 1) {
      // Like a message box: a loop of its own until the second message has come.
      inFirst = true;
      firstStarted = true;
      RunUntil([&] { return order.size() == 2; });
      inFirst = false;
    } else {
      secondRanInsideFirst = inFirst;
    }
    return intptr_t{1};
  });
  app::MessageBridge bridge(window);
  std::thread first([&] {
    pw::Message m;
    m.code = 1;
    pw::SendMessage(window.handle(), m);
  });
  std::thread second([&] {
    while (!firstStarted.load()) std::this_thread::yield();
    pw::Message m;
    m.code = 2;
    pw::SendMessage(window.handle(), m);
  });
  EXPECT_TRUE(RunUntil([&] { return order.size() == 2 && !inFirst; }));
  first.join();
  second.join();
  EXPECT_EQ(order, (std::vector<uint32_t>{1, 2}));
  EXPECT_TRUE(secondRanInsideFirst);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
