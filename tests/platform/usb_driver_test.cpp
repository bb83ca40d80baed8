// The USB driver's core over the scripted fake backend: opens and pipes, control requests and
// driver queries, bulk requests and their completion, cancellation, removal and arrival.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "blocked_thread.h"
#include "penwick/usb_driver.hpp"
#include "penwick/usb_fake.hpp"
#include "penwick/window.hpp"

using namespace std::chrono_literals;
using pw::usb::Direction;
using pw::usb::FakeBackend;
using pw::usb::Status;

namespace {

const std::string kDev = "fake:1-2";
const std::string kOutPipe = kDev + "\\INTERFACE_0x00\\PIPE_0x00";
const std::string kInPipe = kDev + "\\INTERFACE_0x00\\PIPE_0x01";

struct Messages {
  std::mutex mutex;
  std::vector<pw::Message> seen;
  std::function<void(const pw::Message&)> onMessage;
};

class UsbDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto backend = std::make_unique<FakeBackend>();
    fake = backend.get();
    fake->AddDevice(kDev, FakeBackend::ReceiverDescriptors(64), false);
    driver = std::make_unique<pw::usb::Driver>(pw::usb::MakeBackends(std::move(backend)));
  }
  void TearDown() override { driver.reset(); }

  pw::usb::Handle OpenOk(const std::string& path) {
    auto result = driver->Open(path);
    EXPECT_EQ(result.status, Status::Success) << path << ": " << result.message;
    return result.handle;
  }

  Messages messages;
  PwWindow window{[this](const pw::Message& m) {
    std::lock_guard lock(messages.mutex);
    if (messages.onMessage) messages.onMessage(m);
    messages.seen.push_back(m);
    return intptr_t{0};
  }};
  FakeBackend* fake = nullptr;
  std::unique_ptr<pw::usb::Driver> driver;
};

std::vector<uint8_t> Bytes(std::initializer_list<int> list) {
  std::vector<uint8_t> bytes;
  for (int b : list) bytes.push_back(static_cast<uint8_t>(b));
  return bytes;
}

}  // namespace

TEST_F(UsbDriverTest, OpensAreExclusiveAndPipesFollowEndpointOrder) {
  EXPECT_EQ(driver->Enumerate(), std::vector<std::string>{kDev});
  const auto device = OpenOk(kDev);
  auto second = driver->Open(kDev);
  EXPECT_EQ(second.status, Status::Busy);
  EXPECT_EQ(second.handle, pw::usb::kInvalidHandle);
  EXPECT_FALSE(driver->LastOpenMessage().empty());

  const auto out = OpenOk(kOutPipe);
  // A pipe whose own opening the backend refuses does not open.
  fake->RefusePipe(kDev, 1, Status::AccessDenied);
  EXPECT_EQ(driver->Open(kInPipe).status, Status::AccessDenied);
  const auto in = OpenOk(kInPipe);
  EXPECT_EQ(driver->Open(kDev + "\\INTERFACE_0x00\\PIPE_0x02").status, Status::NotFound);
  EXPECT_EQ(driver->Open(kDev + "\\INTERFACE_0x01\\PIPE_0x00").status, Status::NotFound);
  EXPECT_EQ(driver->Open("fake:absent").status, Status::NotFound);
  // A failed pipe open on a device nobody holds leaves no session behind.
  fake->AddDevice("fake:9", FakeBackend::ReceiverDescriptors(64), false);
  EXPECT_EQ(driver->Open("fake:9\\INTERFACE_0x00\\PIPE_0x05").status, Status::NotFound);
  EXPECT_EQ(fake->OpenSessions("fake:9"), 0);
  EXPECT_EQ(driver->Open("nobody:1").status, Status::NotFound);
  EXPECT_EQ(driver->Open("fake:" + std::string(230, 'x')).status, Status::InvalidParameter);
  // One session serves the device and its pipes; it ends with the last handle.
  EXPECT_EQ(fake->OpenSessions(kDev), 1);

  // Pipe 0 is the OUT endpoint 0x01: reading from it is refused at once.
  auto wrong = driver->Read(out, 64);
  EXPECT_TRUE(wrong->Done());
  EXPECT_EQ(wrong->status(), Status::InvalidParameter);
  EXPECT_EQ(driver->Read(device, 64)->status(), Status::InvalidParameter);

  EXPECT_EQ(driver->Close(in), Status::Success);
  EXPECT_EQ(driver->Close(in), Status::InvalidHandle);
  EXPECT_EQ(driver->Close(out), Status::Success);
  EXPECT_EQ(fake->PipeLog(kDev),
            (std::vector<std::string>{"open 0", "refuse 1", "open 1", "close 1 with 0 in flight",
                                      "close 0 with 0 in flight"}));
  EXPECT_EQ(driver->Close(device), Status::Success);
  EXPECT_EQ(fake->OpenSessions(kDev), 0);
  EXPECT_EQ(driver->Close(device), Status::InvalidHandle);
  driver->Close(OpenOk(kDev));  // free again
}

TEST_F(UsbDriverTest, PipesAreTheEndpointsOfTheFirstInterfaceWhateverFollowsThem) {
  // The first interface is number 1, another follows, then a descriptor that runs past the
  // end: the pipes are the first interface's endpoints, as the USB library numbers them.
  auto descriptors = FakeBackend::ReceiverDescriptors(64);
  descriptors.configuration = Bytes({9, 2,    50,   0, 2,  1,    0, 0x80, 50,  // configuration
                                     9, 4,    1,    0, 2,  0xFF, 0, 0,    0,   // interface 1
                                     7, 5,    0x83, 2, 0,  2,    0,            // IN, 512 bytes
                                     7, 5,    0x04, 2, 64, 0,    0,            // OUT, 64 bytes
                                     9, 4,    0,    0, 1,  0xFF, 0, 0,    0,   // interface 0
                                     7, 5,    0x01, 2, 64, 0,    0,            //
                                     8, 0x24, 1});                             // cut short
  fake->AddDevice("fake:7", descriptors, false);
  const auto in = OpenOk(pw::usb::PipePath("fake:7", 0));
  const auto out = OpenOk(pw::usb::PipePath("fake:7", 1));
  EXPECT_EQ(driver->Open(pw::usb::PipePath("fake:7", 2)).status, Status::NotFound);
  EXPECT_EQ(driver->Read(in, 512)->endpoint(), 0x83);
  const uint8_t byte = 0;
  EXPECT_EQ(driver->Write(out, &byte, 1)->endpoint(), 0x04);
  driver->Close(in);
  driver->Close(out);
}

TEST_F(UsbDriverTest, ControlRequestsRunTheStoredSetupPacket) {
  const auto device = OpenOk(kDev);
  const uint8_t setup[8] = {0x80, 6, 0, 1, 0, 0, 18, 0};
  uint8_t echo[8] = {};
  size_t returned = 0;
  ASSERT_EQ(driver->IoControl(device, pw::usb::kIoctlControlSetup, setup, 8, echo, 8, &returned),
            Status::Success);
  EXPECT_EQ(returned, 8u);
  EXPECT_EQ(std::memcmp(echo, setup, 8), 0);
  uint8_t descriptor[18] = {};
  ASSERT_EQ(driver->IoControl(device, pw::usb::kIoctlControlData, descriptor, 18, descriptor, 18,
                              &returned),
            Status::Success);
  EXPECT_EQ(returned, 18u);
  EXPECT_EQ(descriptor[1], 1);
  EXPECT_EQ(descriptor[8] | descriptor[9] << 8, 0x1234);
  // The setup packet is used once.
  EXPECT_EQ(driver->IoControl(device, pw::usb::kIoctlControlData, descriptor, 18, descriptor, 18,
                              &returned),
            Status::InvalidParameter);

  // A string shorter than asked: the count received, the rest zeroed.
  std::vector<uint8_t> text(256, 0xEE);
  size_t got = 0;
  ASSERT_EQ(driver->ControlTransfer(device, {0x80, 6, 2, 3, 0x09, 0x08, 0, 1}, text.data(), &got),
            Status::Success);
  EXPECT_EQ(got, 6u);
  EXPECT_EQ(text[2], 'R');
  EXPECT_EQ(text[6], 0);
  EXPECT_EQ(text[255], 0);

  // A refused request fails and is the device's last status.
  EXPECT_EQ(driver->ControlTransfer(device, {0x80, 6, 9, 3, 0, 0, 255, 0}, text.data(), &got),
            Status::Stall);
  uint32_t last = 0;
  ASSERT_EQ(driver->IoControl(device, pw::usb::kIoctlGetLastStatus, &last, 4, &last, 4, nullptr),
            Status::Success);
  EXPECT_EQ(last, static_cast<uint32_t>(Status::Stall));
  driver->Close(device);
}

TEST_F(UsbDriverTest, DriverQueriesAnswerOnDeviceHandlesOnly) {
  const auto device = OpenOk(kDev);
  const auto pipe = OpenOk(kInPipe);
  uint32_t value = 0;
  size_t returned = 0;
  ASSERT_EQ(
      driver->IoControl(device, pw::usb::kIoctlGetDriverVersion, nullptr, 0, &value, 4, &returned),
      Status::Success);
  EXPECT_EQ(value, pw::usb::kDriverVersion);
  EXPECT_EQ(returned, 4u);
  // The driver is built like this test: a debug build reports itself as checked.
#ifdef NDEBUG
  constexpr uint32_t kChecked = 0;
#else
  constexpr uint32_t kChecked = 1;
#endif
  value = 0xDEADBEEF;
  ASSERT_EQ(
      driver->IoControl(device, pw::usb::kIoctlIsCheckedBuild, nullptr, 0, &value, 4, nullptr),
      Status::Success);
  EXPECT_EQ(value, kChecked);
  uint32_t one = 1;
  ASSERT_EQ(driver->IoControl(device, pw::usb::kIoctlSetDeviceValue, &one, 4, &one, 4, nullptr),
            Status::Success);
  EXPECT_EQ(one, 0u);  // the previous value
  uint32_t two = 2;
  driver->IoControl(device, pw::usb::kIoctlSetDeviceValue, &two, 4, &two, 4, nullptr);
  EXPECT_EQ(two, 1u);
  EXPECT_EQ(
      driver->IoControl(device, pw::usb::kIoctlGetDriverVersion, nullptr, 0, &value, 2, nullptr),
      Status::InvalidParameter);
  EXPECT_EQ(driver->IoControl(device, 0x00229999, nullptr, 0, &value, 4, nullptr),
            Status::NotSupported);
  EXPECT_EQ(
      driver->IoControl(pipe, pw::usb::kIoctlGetDriverVersion, nullptr, 0, &value, 4, nullptr),
      Status::InvalidParameter);
  EXPECT_EQ(
      driver->IoControl(12345, pw::usb::kIoctlGetDriverVersion, nullptr, 0, &value, 4, nullptr),
      Status::InvalidHandle);
}

TEST_F(UsbDriverTest, BulkRequestsCompleteThroughTheirEvent) {
  const auto device = OpenOk(kDev);
  const auto out = OpenOk(kOutPipe);
  const auto in = OpenOk(kInPipe);

  const auto frame = Bytes({'H', 'a', 'V', 'o', 1, 2, 3, 4, 5});
  auto write = driver->Write(out, frame.data(), frame.size());
  ASSERT_TRUE(write->Wait(5s));
  EXPECT_EQ(write->status(), Status::Success);
  EXPECT_EQ(write->Transferred(), frame.size());
  EXPECT_EQ(fake->Written(kDev, 0x01), std::vector<std::vector<uint8_t>>{frame});

  // A device that accepts only part of a write reports what it took.
  fake->ScriptWrite(kDev, 0x01, {std::vector<uint8_t>(4), Status::Success});
  auto partial = driver->Write(out, frame.data(), frame.size());
  ASSERT_TRUE(partial->Wait(5s));
  EXPECT_EQ(partial->Transferred(), 4u);

  fake->ScriptRead(kDev, 0x82, {Bytes({9, 8, 7}), Status::Success});
  auto read = driver->Read(in, 64);
  ASSERT_TRUE(read->Wait(5s));
  EXPECT_EQ(read->status(), Status::Success);
  ASSERT_EQ(read->Transferred(), 3u);
  EXPECT_EQ(std::vector<uint8_t>(read->Received().begin(), read->Received().end()),
            Bytes({9, 8, 7}));
  EXPECT_EQ(fake->ReadLengths(kDev, 0x82), std::vector<size_t>{64});

  // Done at once: the request is complete when Read returns.
  fake->ScriptRead(kDev, 0x82, {Bytes({1}), Status::Success, FakeBackend::Timing::Immediate});
  auto immediate = driver->Read(in, 64);
  EXPECT_TRUE(immediate->Done());
  EXPECT_EQ(immediate->Transferred(), 1u);

  // A zero-length answer is a success with no bytes.
  fake->ScriptRead(kDev, 0x82, {{}, Status::Success});
  auto empty = driver->Read(in, 64);
  ASSERT_TRUE(empty->Wait(5s));
  EXPECT_EQ(empty->status(), Status::Success);
  EXPECT_EQ(empty->Transferred(), 0u);
  EXPECT_TRUE(empty->Received().empty());

  // A device that sends more than asked cannot overrun the request.
  fake->ScriptRead(kDev, 0x82, {std::vector<uint8_t>(100, 5), Status::Success});
  auto over = driver->Read(in, 64);
  ASSERT_TRUE(over->Wait(5s));
  EXPECT_EQ(over->Transferred(), 64u);

  // A failed completion is the device's last status.
  fake->ScriptRead(kDev, 0x82, {{}, Status::Stall});
  auto stalled = driver->Read(in, 64);
  ASSERT_TRUE(stalled->Wait(5s));
  EXPECT_EQ(stalled->status(), Status::Stall);
  uint32_t last = 0;
  driver->IoControl(device, pw::usb::kIoctlGetLastStatus, &last, 4, &last, 4, nullptr);
  EXPECT_EQ(last, static_cast<uint32_t>(Status::Stall));
}

TEST_F(UsbDriverTest, CancelEndsASilentReadAndALateAnswerIsIgnored) {
  const auto in = OpenOk(kInPipe);
  auto read = driver->Read(in, 64);
  EXPECT_FALSE(read->Wait(50ms));
  EXPECT_EQ(read->status(), Status::Pending);
  EXPECT_EQ(fake->PendingCount(kDev), 1u);
  fake->SetCancelDelay(30ms);
  EXPECT_EQ(driver->CancelIo(in), Status::Success);
  EXPECT_EQ(fake->CancelCount(kDev), 1);
  ASSERT_TRUE(read->Wait(5s));
  EXPECT_EQ(read->status(), Status::Cancelled);
  EXPECT_EQ(read->Transferred(), 0u);

  // An answer arriving after completion never changes a finished request.
  EXPECT_FALSE(read->Complete(Status::Success, 3, Bytes({1, 2, 3})));
  EXPECT_EQ(read->Transferred(), 0u);

  // The next read gets the next answer, not the cancelled one's.
  fake->ScriptRead(kDev, 0x82, {Bytes({4, 4}), Status::Success});
  auto next = driver->Read(in, 64);
  ASSERT_TRUE(next->Wait(5s));
  EXPECT_EQ(next->Transferred(), 2u);
  EXPECT_EQ(driver->CancelIo(99), Status::InvalidHandle);
}

TEST_F(UsbDriverTest, CloseCancelsOutstandingRequests) {
  const auto in = OpenOk(kInPipe);
  auto read = driver->Read(in, 64);
  EXPECT_EQ(driver->Close(in), Status::Success);
  EXPECT_TRUE(read->Done());
  EXPECT_EQ(read->status(), Status::Cancelled);
  // The backend closes its pipe only once nothing of it is in flight.
  EXPECT_EQ(fake->PipeLog(kDev), (std::vector<std::string>{"open 1", "close 1 with 0 in flight"}));
  EXPECT_EQ(fake->OpenSessions(kDev), 0);
}

TEST_F(UsbDriverTest, RemovalFailsRequestsBeforeTheNoticeAndFreesThePath) {
  driver->RegisterNotices(window.handle());
  const auto device = OpenOk(kDev);
  const auto in = OpenOk(kInPipe);
  auto read = driver->Read(in, 64);
  bool doneWhenNotified = false;
  messages.onMessage = [&](const pw::Message& m) {
    if (m.event == pw::kDeviceRemoveComplete) doneWhenNotified = read->Done();
  };
  fake->RemoveDevice(kDev);
  // Failed at once, on the removing thread, before any message is handled.
  EXPECT_TRUE(read->Done());
  EXPECT_EQ(read->status(), Status::NoDevice);
  window.Pump([&] { return !messages.seen.empty(); }, 5s);
  ASSERT_EQ(messages.seen.size(), 1u);
  EXPECT_EQ(messages.seen[0].kind, pw::MessageKind::DeviceChange);
  EXPECT_EQ(messages.seen[0].event, pw::kDeviceRemoveComplete);
  EXPECT_EQ(messages.seen[0].devicePath, kDev);
  EXPECT_TRUE(doneWhenNotified);

  // The old handles fail; the path opens again when the device returns.
  EXPECT_EQ(driver->Read(in, 64)->status(), Status::NoDevice);
  size_t got = 0;
  uint8_t buffer[18];
  EXPECT_EQ(driver->ControlTransfer(device, {0x80, 6, 0, 1, 0, 0, 18, 0}, buffer, &got),
            Status::NoDevice);
  fake->AddDevice(kDev, FakeBackend::ReceiverDescriptors(512));
  window.Pump([&] { return messages.seen.size() == 2; }, 5s);
  ASSERT_EQ(messages.seen.size(), 2u);
  EXPECT_EQ(messages.seen[1].event, pw::kDeviceArrival);
  const auto again = OpenOk(kDev);
  EXPECT_NE(again, device);
  EXPECT_EQ(driver->Close(in), Status::Success);
  EXPECT_EQ(driver->Close(device), Status::Success);
  EXPECT_EQ(driver->Close(again), Status::Success);
}

TEST_F(UsbDriverTest, NoticesReachOnlyRegisteredWindows) {
  EXPECT_EQ(driver->RegisterNotices(nullptr), 0u);
  const uint32_t registration = driver->RegisterNotices(window.handle());
  ASSERT_NE(registration, 0u);
  fake->AddDevice("fake:2", FakeBackend::ReceiverDescriptors(64));
  driver->UnregisterNotices(registration);
  fake->AddDevice("fake:3", FakeBackend::ReceiverDescriptors(64));
  window.Pump([] { return false; }, 100ms);
  ASSERT_EQ(messages.seen.size(), 1u);
  EXPECT_EQ(messages.seen[0].devicePath, "fake:2");
}

// The receiver reboots (leaves and comes back, notices posted from the fake's thread) while
// the registered window is destroyed: nothing reaches the destroyed window, and a window
// registered later gets each notice once.
TEST_F(UsbDriverTest, AWindowDestroyedWhileTheReceiverRebootsEndsItsRegistration) {
  std::atomic<bool> stop{false};
  std::thread rebooting([&] {
    while (!stop.load()) {
      fake->RemoveDevice(kDev);
      fake->AddDevice(kDev, FakeBackend::ReceiverDescriptors(64));
    }
  });
  std::atomic<int> seen{0};
  auto doomed = std::make_unique<PwWindow>([&](const pw::Message&) {
    ++seen;
    return intptr_t{0};
  });
  driver->RegisterNotices(doomed->handle());
  EXPECT_TRUE(doomed->Pump([&] { return seen.load() >= 2; }, 10s));
  doomed.reset();
  stop = true;
  rebooting.join();

  driver->RegisterNotices(window.handle());
  fake->RemoveDevice(kDev);
  window.Pump([&] { return !messages.seen.empty(); }, 5s);
  window.Pump([] { return false; }, 50ms);
  ASSERT_EQ(messages.seen.size(), 1u);
  EXPECT_EQ(messages.seen[0].event, pw::kDeviceRemoveComplete);
}

TEST_F(UsbDriverTest, AnOpenRefusedRightAfterAnArrivalIsRetried) {
  fake->AddDevice("fake:new", FakeBackend::ReceiverDescriptors(64));  // announced: fresh
  fake->RefuseOpens("fake:new", Status::AccessDenied, 3);
  auto result = driver->Open("fake:new");
  EXPECT_EQ(result.status, Status::Success) << result.message;
  driver->Close(result.handle);

  // A device present all along is not retried: the refusal comes back at once.
  fake->RefuseOpens(kDev, Status::AccessDenied, 1, "run the rule command");
  result = driver->Open(kDev);
  EXPECT_EQ(result.status, Status::AccessDenied);
  EXPECT_EQ(result.message, "run the rule command");
  EXPECT_EQ(driver->LastOpenMessage(), "run the rule command");
  EXPECT_EQ(fake->OpenSessions(kDev), 0);
}

TEST_F(UsbDriverTest, ResetFailsEverythingInFlight) {
  const auto in = OpenOk(kInPipe);
  auto read = driver->Read(in, 64);
  driver->Reset({});
  EXPECT_TRUE(read->Done());
  EXPECT_EQ(read->status(), Status::NoDevice);
  EXPECT_EQ(driver->Read(in, 64)->status(), Status::InvalidHandle);
  EXPECT_TRUE(driver->Enumerate().empty());
}

TEST(UsbDriverTimeouts, ScaleShortensEveryFixedTimeOut) {
  const uint32_t before = pw::usb::TimeoutPermille();
  pw::usb::SetTimeoutPermille(50);
  EXPECT_EQ(pw::usb::ScaledTimeout(8000ms), 400ms);
  EXPECT_EQ(pw::usb::ScaledTimeout(1ms), 1ms);  // never below 1 ms
  EXPECT_EQ(pw::usb::ScaledTimeout(0ms), 0ms);  // unlimited stays unlimited
  EXPECT_EQ(pw::usb::ControlTimeout(), 250ms);
  pw::usb::SetTimeoutPermille(1000);
  EXPECT_EQ(pw::usb::ScaledTimeout(8000ms), 8000ms);
  pw::usb::SetTimeoutPermille(before);
}

// A transfer waiting on another thread ends as soon as the device goes: one wait of 30 s, so
// only the removal's wake-up can end it within the bound.
TEST_F(UsbDriverTest, RemovalEndsAWaitOnAnotherThreadPromptly) {
  const auto in = OpenOk(kInPipe);
  const auto read = driver->Read(in, 64);
  std::atomic<int> tid{0};
  std::chrono::steady_clock::time_point returned;
  std::thread transfer([&] {
    tid = pwtest::CurrentThreadId();
    read->Wait(30s);
    returned = std::chrono::steady_clock::now();
  });
  while (tid.load() == 0) std::this_thread::yield();
  EXPECT_TRUE(pwtest::WaitUntilBlocked(tid.load()));
  ASSERT_FALSE(read->Done());
  const auto removedAt = std::chrono::steady_clock::now();
  fake->RemoveDevice(kDev);
  transfer.join();
  EXPECT_EQ(read->status(), Status::NoDevice);
  EXPECT_LT(returned - removedAt, 1500ms);  // 100 ms promised; the rest is slack for sanitizers
}

// Transfers on several threads while the device leaves and returns: every request ends, and
// nothing races (this test is for the sanitizers as much as for its assertions).
TEST_F(UsbDriverTest, TransfersSurviveRemovalsOnOtherThreads) {
  std::atomic<bool> stop{false};
  std::atomic<int> ended{0};
  std::atomic<int> stuck{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < 3; ++w) {
    workers.emplace_back([&, w] {
      pw::usb::Handle pipe = pw::usb::kInvalidHandle;
      const std::string path = w % 2 ? kInPipe : kOutPipe;
      while (!stop) {
        if (pipe == pw::usb::kInvalidHandle) {
          auto result = driver->Open(path);
          if (result.status != Status::Success) {
            std::this_thread::sleep_for(1ms);
            continue;
          }
          pipe = result.handle;
        }
        const uint8_t bytes[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
        auto request = w % 2 ? driver->Read(pipe, 64) : driver->Write(pipe, bytes, 9);
        if (!request->Wait(50ms)) driver->CancelIo(pipe);
        if (request->Wait(2s)) {
          ++ended;
        } else {
          ++stuck;
        }
        if (request->status() == Status::NoDevice || request->status() == Status::InvalidHandle) {
          driver->Close(pipe);
          pipe = pw::usb::kInvalidHandle;
        }
      }
      if (pipe != pw::usb::kInvalidHandle) driver->Close(pipe);
    });
  }
  for (int round = 0; round < 20; ++round) {
    fake->ScriptRead(kDev, 0x82, {{1, 2, 3}, Status::Success});
    std::this_thread::sleep_for(10ms);
    fake->RemoveDevice(kDev);
    std::this_thread::sleep_for(5ms);
    fake->AddDevice(kDev, FakeBackend::ReceiverDescriptors(64));
  }
  stop = true;
  for (auto& worker : workers) worker.join();
  EXPECT_GT(ended.load(), 0);
  EXPECT_EQ(stuck.load(), 0);
}
