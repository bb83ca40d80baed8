// Window messages as Windows carries them: a real window whose messages any message loop of its
// thread delivers (the ordinary one, a message box's), and waiting senders released when the
// window or its thread goes.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "penwick/message_box.hpp"
#include "penwick/window.hpp"

// After the platform's headers: <windows.h> names SendMessage and PostMessage as macros.
#include <windows.h>
#undef SendMessage
#undef PostMessage

using namespace std::chrono_literals;

namespace {

constexpr uint32_t kEndLoop = 4100;

pw::Message DeviceChange(uint32_t event, std::string path) {
  pw::Message m;
  m.kind = pw::MessageKind::DeviceChange;
  m.event = event;
  m.devicePath = std::move(path);
  return m;
}

pw::Message Command(uint32_t code, intptr_t value) {
  pw::Message m;
  m.code = code;
  m.value = value;
  return m;
}

// Looks for a top-level window of this process with `caption` for up to `limit`.
HWND WaitForWindow(const char* caption, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (HWND found = FindWindowA("#32770", caption)) return found;
    std::this_thread::sleep_for(10ms);
  }
  return nullptr;
}

}  // namespace

// The thread's own GetMessage loop (no Pump) delivers a worker's sends and posts; the worker
// waits until the loop has handled its send; the device paths a worker made and dropped arrive
// whole (long, with non-ASCII bytes).
TEST(Win32Window, AnOrdinaryMessageLoopDeliversSendsAndPosts) {
  struct Seen {
    uint32_t code;
    uint32_t event;
    std::string path;
    DWORD thread;
  };
  std::vector<Seen> seen;
  PwWindow window([&](const pw::Message& m) {
    seen.push_back({m.code, m.event, m.devicePath, GetCurrentThreadId()});
    if (m.code == kEndLoop) PostQuitMessage(0);
    return m.value + 1;
  });
  const HWND handle = window.handle();
  ASSERT_TRUE(IsWindow(handle));
  EXPECT_EQ(GetWindowThreadProcessId(handle, nullptr), GetCurrentThreadId());

  const std::string arrival = "\\\\?\\usb#vid_0000&pid_0000#" + std::string(190, 'a') + "\xc3\xa9";
  const std::string removal = "usbip:127.0.0.1:3240/1-1";
  std::atomic<intptr_t> commandResult{-1};
  std::atomic<intptr_t> removalResult{-1};
  std::thread worker([&] {
    EXPECT_TRUE(pw::PostMessage(handle, DeviceChange(pw::kDeviceArrival, arrival)));
    commandResult = pw::SendMessage(handle, Command(4006, 41));
    removalResult = pw::SendMessage(handle, DeviceChange(pw::kDeviceRemoveComplete, removal));
    EXPECT_TRUE(pw::PostMessage(handle, Command(kEndLoop, 0)));
  });
  Sleep(200);  // not looking at the queue: the send waits
  EXPECT_EQ(commandResult.load(), -1);
  EXPECT_TRUE(seen.empty());

  const UINT_PTR limit = SetTimer(nullptr, 0, 10000, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0 && msg.message != WM_TIMER) DispatchMessageA(&msg);
  KillTimer(nullptr, limit);
  worker.join();

  EXPECT_EQ(commandResult.load(), 42);
  EXPECT_EQ(removalResult.load(), 1);
  ASSERT_EQ(seen.size(), 4u);
  int arrivals = 0;
  int removals = 0;
  for (const Seen& s : seen) {
    EXPECT_EQ(s.thread, GetCurrentThreadId());
    if (s.event == pw::kDeviceArrival && s.path == arrival) ++arrivals;
    if (s.event == pw::kDeviceRemoveComplete && s.path == removal) ++removals;
  }
  EXPECT_EQ(arrivals, 1);
  EXPECT_EQ(removals, 1);
  EXPECT_EQ(seen.back().code, kEndLoop);  // posts keep their order behind the sends
}

// A front end that destroys the window itself, and an owner thread that ends without looking at
// its queue again: the waiting worker gets 0 and the handler is not called.
TEST(Win32Window, SendersAreReleasedWhenTheWindowOrItsThreadGoes) {
  std::atomic<int> handled{0};
  PwWindow window([&](const pw::Message&) {
    ++handled;
    return intptr_t{5};
  });
  const HWND handle = window.handle();
  auto sent =
      std::async(std::launch::async, [&] { return pw::SendMessage(handle, Command(1, 0)); });
  EXPECT_EQ(sent.wait_for(100ms), std::future_status::timeout);
  DestroyWindow(handle);
  ASSERT_EQ(sent.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(sent.get(), 0);
  EXPECT_EQ(pw::SendMessage(handle, Command(1, 0)), 0);
  EXPECT_FALSE(pw::PostMessage(handle, Command(1, 0)));

  std::unique_ptr<PwWindow> orphan;
  std::promise<void> made;
  std::promise<void> end;
  std::thread owner([&] {
    orphan = std::make_unique<PwWindow>([&](const pw::Message&) {
      ++handled;
      return intptr_t{5};
    });
    made.set_value();
    end.get_future().wait();  // ends without looking at its queue
  });
  made.get_future().wait();
  const HWND orphanHandle = orphan->handle();
  auto waiting =
      std::async(std::launch::async, [&] { return pw::SendMessage(orphanHandle, Command(2, 0)); });
  EXPECT_EQ(waiting.wait_for(100ms), std::future_status::timeout);
  end.set_value();
  owner.join();
  ASSERT_EQ(waiting.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(waiting.get(), 0);
  orphan.reset();  // on another thread than its owner, whose window is gone
  EXPECT_EQ(pw::SendMessage(orphanHandle, Command(2, 0)), 0);
  EXPECT_EQ(handled.load(), 0);
}

// Without a handler the box is the system's, owned by the window the operator sees on the
// message window's thread; its modal loop delivers a worker's send, whose handler answers the
// box (No, not the default Yes). Needs a display (scripts/test-windows.sh starts one).
TEST(Win32Window, MessageBoxLoopDeliversSentNotices) {
  const char* caption = "Penwick box test";
  HWND frame = CreateWindowExA(0, "STATIC", "frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                               100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(frame, nullptr);
  HWND boxOwner = nullptr;
  int notices = 0;
  PwWindow window([&](const pw::Message& m) {
    ++notices;
    if (HWND box = FindWindowA("#32770", caption)) {
      boxOwner = GetWindow(box, GW_OWNER);
      PostMessageA(box, WM_COMMAND, IDNO, 0);
    }
    return m.value;
  });
  std::atomic<intptr_t> sent{-1};
  std::thread worker([&] {
    if (WaitForWindow(caption, 10s) == nullptr) return;
    sent = pw::SendMessage(window.handle(), Command(4013, 259));
  });
  // If the box never gets the notice, the worker closes it after all, so the test ends.
  std::thread watchdog([&] {
    if (HWND box = WaitForWindow(caption, 10s)) {
      for (int i = 0; i < 200 && IsWindow(box); ++i) std::this_thread::sleep_for(100ms);
      if (IsWindow(box)) PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    }
  });
  const int answer = pw::ShowMessageBox(window.handle(), "Overwrite?", caption,
                                        pw::kMbYesNo | pw::kMbIconQuestion);
  window.Close();  // releases the worker if its send never arrived
  worker.join();
  watchdog.join();
  DestroyWindow(frame);
  EXPECT_EQ(answer, pw::kIdNo);
  EXPECT_EQ(notices, 1);
  EXPECT_EQ(sent.load(), 259);
  EXPECT_EQ(boxOwner, frame);
}
