// Windows and messages across threads, and message boxes with and without a handler.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include "penwick/message_box.hpp"
#include "penwick/window.hpp"

using namespace std::chrono_literals;

TEST(Window, SendFromOwnerThreadRunsAtOnce) {
  std::vector<uint32_t> seen;
  PwWindow window([&](const pw::Message& m) {
    seen.push_back(m.code);
    return static_cast<intptr_t>(m.value + 1);
  });
  pw::Message m;
  m.code = 4006;
  m.value = 41;
  EXPECT_EQ(pw::SendMessage(window.handle(), m), 42);
  EXPECT_EQ(seen, std::vector<uint32_t>{4006});
  EXPECT_EQ(pw::SendMessage(nullptr, m), 0);
  EXPECT_FALSE(pw::PostMessage(nullptr, m));
}

TEST(Window, SendFromWorkerWaitsForTheOwnerAndKeepsOrder) {
  std::vector<uint32_t> seen;
  std::thread::id handledOn;
  PwWindow window([&](const pw::Message& m) {
    seen.push_back(m.code);
    handledOn = std::this_thread::get_id();
    return intptr_t{7};
  });
  std::atomic<int> results{0};
  std::thread worker([&] {
    pw::Message m;
    for (uint32_t code = 1; code <= 3; ++code) {
      m.code = code;
      results += static_cast<int>(pw::SendMessage(window.handle(), m));
    }
  });
  EXPECT_TRUE(window.Pump([&] { return seen.size() == 3; }, 10s));
  worker.join();
  EXPECT_EQ(results.load(), 21);
  EXPECT_EQ(seen, (std::vector<uint32_t>{1, 2, 3}));
  EXPECT_EQ(handledOn, std::this_thread::get_id());
}

TEST(Window, CloseReleasesAWaitingSender) {
  auto window = std::make_unique<PwWindow>([](const pw::Message&) { return intptr_t{5}; });
  auto sent = std::async(std::launch::async,
                         [&] { return pw::SendMessage(window->handle(), pw::Message{}); });
  EXPECT_EQ(sent.wait_for(100ms), std::future_status::timeout);  // nobody pumps
  window->Close();
  ASSERT_EQ(sent.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(sent.get(), 0);
  EXPECT_FALSE(pw::PostMessage(window->handle(), pw::Message{}));
}

// A worker that keeps sending while its window closes and is destroyed (a serial worker in
// its pause, a notice after the program's window went away): its messages are dropped, and a
// window made afterwards never receives what was meant for the old handle.
TEST(Window, LateSendersAfterCloseAndDestructionAreDropped) {
  std::atomic<int> handled{0};
  auto window = std::make_unique<PwWindow>([&](const pw::Message&) {
    ++handled;
    return intptr_t{1};
  });
  const PwHwnd old = window->handle();
  std::atomic<bool> stop{false};
  std::thread worker([&] {
    while (!stop.load()) {
      pw::SendMessage(old, pw::Message{});
      pw::PostMessage(old, pw::Message{});
    }
  });
  EXPECT_TRUE(window->Pump([&] { return handled.load() >= 3; }, 10s));
  window->Close();
  EXPECT_EQ(pw::SendMessage(old, pw::Message{}), 0);
  window.reset();  // while the worker still sends

  std::atomic<int> strayed{0};
  auto next = std::make_unique<PwWindow>([&](const pw::Message&) {
    ++strayed;
    return intptr_t{1};
  });
  EXPECT_NE(next->handle(), old);
  next->Pump([] { return false; }, 50ms);
  stop = true;
  worker.join();
  EXPECT_EQ(strayed.load(), 0);
  EXPECT_FALSE(pw::PostMessage(old, pw::Message{}));
}

TEST(Window, PostDoesNotWaitAndCarriesDeviceChanges) {
  std::vector<std::string> paths;
  PwWindow window([&](const pw::Message& m) {
    if (m.kind == pw::MessageKind::DeviceChange && m.event == pw::kDeviceArrival)
      paths.push_back(m.devicePath);
    return intptr_t{0};
  });
  std::thread([&] {
    pw::Message m;
    m.kind = pw::MessageKind::DeviceChange;
    m.event = pw::kDeviceArrival;
    m.devicePath = "usbip:127.0.0.1:3240/1-1";
    EXPECT_TRUE(pw::PostMessage(window.handle(), m));
  }).join();
  EXPECT_TRUE(paths.empty());
  window.PumpPending();
  EXPECT_EQ(paths, std::vector<std::string>{"usbip:127.0.0.1:3240/1-1"});
  EXPECT_FALSE(window.Pump([] { return false; }, 20ms));  // times out
}

// The wake hook fires once per message queued for the owner (a post, a send from another
// thread), never for a send the owner handles at once, and never after it was removed.
TEST(Window, WakeHookFiresForQueuedMessagesOnly) {
  std::atomic<int> wakes{0};
  PwWindow window([](const pw::Message&) { return intptr_t{3}; });
  window.SetWakeHook([&] { ++wakes; });
  EXPECT_EQ(pw::SendMessage(window.handle(), pw::Message{}), 3);  // owner: at once
  EXPECT_EQ(wakes.load(), 0);
  EXPECT_TRUE(pw::PostMessage(window.handle(), pw::Message{}));
  EXPECT_EQ(wakes.load(), 1);
  auto sent = std::async(std::launch::async,
                         [&] { return pw::SendMessage(window.handle(), pw::Message{}); });
  EXPECT_TRUE(window.Pump([&] { return wakes.load() == 2; }, 10s));
  window.PumpPending();
  EXPECT_EQ(sent.get(), 3);
  window.SetWakeHook(nullptr);
  EXPECT_TRUE(pw::PostMessage(window.handle(), pw::Message{}));
  EXPECT_EQ(wakes.load(), 2);
}

TEST(MessageBox, DefaultAnswersAndInstalledHandler) {
  EXPECT_EQ(pw::DefaultButton(pw::kMbOk | pw::kMbIconError), pw::kIdOk);
  EXPECT_EQ(pw::DefaultButton(pw::kMbYesNo), pw::kIdYes);
  EXPECT_EQ(pw::DefaultButton(pw::kMbYesNo | pw::kMbDefButton2), pw::kIdNo);
  EXPECT_EQ(pw::DefaultButton(pw::kMbOkCancel | pw::kMbDefButton2), pw::kIdCancel);

  pw::MessageBoxRequest seen;
  pw::SetMessageBoxHandler([&](const pw::MessageBoxRequest& r) {
    seen = r;
    return pw::kIdNo;
  });
  EXPECT_EQ(pw::ShowMessageBox(nullptr, "ERROR : Download Error!!", "ERROR", pw::kMbOk), pw::kIdNo);
  EXPECT_EQ(seen.text, "ERROR : Download Error!!");
  EXPECT_EQ(seen.caption, "ERROR");
  pw::SetMessageBoxHandler(nullptr);
}

// Without a handler nobody can answer here (Windows shows the system's box instead).
TEST(MessageBox, WithoutAHandlerTheDefaultButtonAnswers) {
  EXPECT_EQ(pw::ShowMessageBox(nullptr, "text", "Notice", pw::kMbYesNo), pw::kIdYes);
  EXPECT_EQ(pw::ShowMessageBox(nullptr, "t", "c", pw::kMbOkCancel), pw::kIdOk);
}
