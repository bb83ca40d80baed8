// The driver's USB/IP client against a test-side server on loopback: listing, arrival and
// removal by polling, import, control and bulk requests, unlinks, a lost connection.
#include <gtest/gtest.h>

#include <thread>

#include "backends.hpp"
#include "penwick/usb_driver.hpp"
#include "penwick/window.hpp"
#include "usbip_stub_server.h"

using namespace std::chrono_literals;
using pw::usb::Status;

namespace {

class UsbipClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.AddDevice(UsbipStubServer::Receiver("1-1"));
    prefix = "usbip:127.0.0.1:" + std::to_string(server.port()) + "/";
    dev = prefix + "1-1";
    std::vector<std::unique_ptr<pw::usb::Backend>> backends;
    backends.push_back(pw::usb::MakeUsbipBackend({{"127.0.0.1", server.port()}}, 50ms));
    driver = std::make_unique<pw::usb::Driver>(std::move(backends));
    registration = driver->RegisterNotices(window.handle());
  }
  void TearDown() override {
    driver->UnregisterNotices(registration);
    driver.reset();
  }

  pw::usb::Handle OpenOk(const std::string& path) {
    auto result = driver->Open(path);
    EXPECT_EQ(result.status, Status::Success) << path << ": " << result.message;
    return result.handle;
  }
  // Runs the window until a message with `event` for `path` came.
  bool AwaitNotice(uint32_t event, const std::string& path) {
    auto seen = [&] {
      for (auto& m : messages) {
        if (m.event == event && m.devicePath == path) return true;
      }
      return false;
    };
    return window.Pump(seen, 10s);
  }

  UsbipStubServer server;
  std::vector<pw::Message> messages;
  PwWindow window{[this](const pw::Message& m) {
    messages.push_back(m);
    return intptr_t{0};
  }};
  std::unique_ptr<pw::usb::Driver> driver;
  uint32_t registration = 0;
  std::string prefix;
  std::string dev;
};

std::string In(const std::string& device) {
  return pw::usb::PipePath(device, 1);
}
std::string Out(const std::string& device) {
  return pw::usb::PipePath(device, 0);
}

}  // namespace

TEST_F(UsbipClientTest, ListsImportsAndMovesBulkData) {
  EXPECT_EQ(driver->Enumerate(), std::vector<std::string>{dev});
  const auto device = OpenOk(dev);
  EXPECT_EQ(server.Imports("1-1"), 1);
  uint8_t descriptor[18] = {};
  size_t got = 0;
  ASSERT_EQ(driver->ControlTransfer(device, {0x80, 6, 0, 1, 0, 0, 18, 0}, descriptor, &got),
            Status::Success);
  EXPECT_EQ(got, 18u);
  EXPECT_EQ(descriptor[10] | descriptor[11] << 8, 0x5678);
  uint8_t text[256];
  EXPECT_EQ(driver->ControlTransfer(device, {0x80, 6, 7, 3, 9, 8, 0, 1}, text, &got),
            Status::Stall);

  const auto out = OpenOk(Out(dev));
  const auto in = OpenOk(In(dev));
  std::vector<uint8_t> frame(64, 0);
  frame[0] = 'H';
  auto write = driver->Write(out, frame.data(), frame.size());
  ASSERT_TRUE(write->Wait(5s));
  EXPECT_EQ(write->status(), Status::Success);
  EXPECT_EQ(write->Transferred(), 64u);
  EXPECT_EQ(server.Written("1-1"), std::vector<std::vector<uint8_t>>{frame});

  server.QueueRead("1-1", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  auto read = driver->Read(in, 64);
  ASSERT_TRUE(read->Wait(5s));
  EXPECT_EQ(read->status(), Status::Success);
  ASSERT_EQ(read->Transferred(), 12u);
  EXPECT_EQ(read->Received()[11], 12);
  EXPECT_EQ(server.ReadLengths("1-1"), std::vector<uint32_t>{64});

  // A zero-length answer.
  server.QueueRead("1-1", {});
  auto empty = driver->Read(in, 512);
  ASSERT_TRUE(empty->Wait(5s));
  EXPECT_EQ(empty->status(), Status::Success);
  EXPECT_EQ(empty->Transferred(), 0u);

  driver->Close(in);
  driver->Close(out);
  driver->Close(device);
}

TEST_F(UsbipClientTest, ASilentReadIsUnlinkedAndALateAnswerKept) {
  const auto in = OpenOk(In(dev));
  auto read = driver->Read(in, 64);
  EXPECT_FALSE(read->Wait(100ms));
  driver->CancelIo(in);
  ASSERT_TRUE(read->Wait(5s));
  EXPECT_EQ(read->status(), Status::Cancelled);
  EXPECT_EQ(server.Unlinks("1-1"), 1);
  EXPECT_EQ(server.PendingReads("1-1"), 0u);

  // The server answered before the unlink reached it: the data stays with that request.
  server.AnswerUnlinksLate("1-1", {7, 7, 7});
  auto late = driver->Read(in, 64);
  EXPECT_FALSE(late->Wait(100ms));
  driver->CancelIo(in);
  ASSERT_TRUE(late->Wait(5s));
  EXPECT_EQ(late->status(), Status::Success);
  EXPECT_EQ(late->Transferred(), 3u);

  // Status 0 and no RET_SUBMIT at all: the request ends with the unlink's answer, and a later
  // cancel has nothing left to unlink.
  server.AnswerUnlinksWithoutSubmit("1-1");
  auto lost = driver->Read(in, 64);
  EXPECT_FALSE(lost->Wait(100ms));
  driver->CancelIo(in);
  ASSERT_TRUE(lost->Wait(5s));
  EXPECT_EQ(lost->status(), Status::Cancelled);
  driver->CancelIo(in);

  // And the connection is still in step.
  server.QueueRead("1-1", {1});
  auto next = driver->Read(in, 64);
  ASSERT_TRUE(next->Wait(5s));
  EXPECT_EQ(next->Transferred(), 1u);
  EXPECT_EQ(server.Unlinks("1-1"), 3);
  driver->Close(in);
}

TEST_F(UsbipClientTest, ALostConnectionFailsRequestsAtOnceAndCountsAsRemoval) {
  const auto in = OpenOk(In(dev));
  auto read = driver->Read(in, 64);
  EXPECT_FALSE(read->Wait(50ms));
  const auto removedAt = std::chrono::steady_clock::now();
  server.RemoveDevice("1-1");
  ASSERT_TRUE(read->Wait(5s));
  EXPECT_LT(std::chrono::steady_clock::now() - removedAt, 2s);
  EXPECT_EQ(read->status(), Status::NoDevice);
  ASSERT_TRUE(AwaitNotice(pw::kDeviceRemoveComplete, dev));
  EXPECT_EQ(driver->Read(in, 64)->status(), Status::NoDevice);
  EXPECT_TRUE(driver->Enumerate().empty());

  // Back on the list: an arrival, and the path imports again.
  server.AddDevice(UsbipStubServer::Receiver("1-1"));
  ASSERT_TRUE(AwaitNotice(pw::kDeviceArrival, dev));
  const auto again = OpenOk(In(dev));
  EXPECT_EQ(server.Imports("1-1"), 2);
  driver->Close(again);
  driver->Close(in);
}

TEST_F(UsbipClientTest, PollingAnnouncesArrivalsAndRemovalsOfUnopenedDevices) {
  server.AddDevice(UsbipStubServer::Receiver("2-1", 512));
  ASSERT_TRUE(AwaitNotice(pw::kDeviceArrival, prefix + "2-1"));
  server.RemoveDevice("2-1");
  ASSERT_TRUE(AwaitNotice(pw::kDeviceRemoveComplete, prefix + "2-1"));
  // The device present at start was found by enumeration, never announced.
  for (auto& m : messages) EXPECT_NE(m.devicePath, dev);
}

TEST_F(UsbipClientTest, RefusedImportsAndUnknownServers) {
  // Another client holds the device: its import is refused as busy.
  std::vector<std::unique_ptr<pw::usb::Backend>> backends;
  backends.push_back(pw::usb::MakeUsbipBackend({{"127.0.0.1", server.port()}}, 50ms));
  pw::usb::Driver other(std::move(backends));
  const auto held = OpenOk(dev);
  auto refused = other.Open(dev);
  EXPECT_EQ(refused.status, Status::Busy);
  EXPECT_FALSE(refused.message.empty());
  driver->Close(held);

  EXPECT_EQ(driver->Open(prefix + "9-9").status, Status::Busy);
  EXPECT_EQ(driver->Open("usbip:127.0.0.1:1/1-1").status, Status::NotFound);  // not configured
  EXPECT_EQ(driver->Open("usbip:nonsense").status, Status::NotFound);
}

TEST_F(UsbipClientTest, AControlRequestThatNeverEndsIsUnlinked) {
  const auto device = OpenOk(dev);
  server.SilenceControl("1-1");
  const uint32_t before = pw::usb::TimeoutPermille();
  pw::usb::SetTimeoutPermille(20);  // the 5 s control time-out becomes 100 ms
  uint8_t descriptor[18];
  size_t got = 0;
  EXPECT_EQ(driver->ControlTransfer(device, {0x80, 6, 0, 1, 0, 0, 18, 0}, descriptor, &got),
            Status::Timeout);
  pw::usb::SetTimeoutPermille(before);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(server.Unlinks("1-1"), 1);
  driver->Close(device);
}

TEST_F(UsbipClientTest, AReplyForNoRequestDropsTheConnection) {
  const auto in = OpenOk(In(dev));
  auto read = driver->Read(in, 64);
  EXPECT_FALSE(read->Wait(50ms));
  std::vector<uint8_t> stray(48, 0);
  stray[3] = 3;     // RET_SUBMIT
  stray[7] = 0x77;  // a seqnum never used
  server.SendRaw("1-1", stray);
  ASSERT_TRUE(read->Wait(5s));
  EXPECT_EQ(read->status(), Status::NoDevice);
  ASSERT_TRUE(AwaitNotice(pw::kDeviceRemoveComplete, dev));
  driver->Close(in);
}

TEST_F(UsbipClientTest, SubmitsNeverWaitForAServerThatStopsReading) {
  const auto out = OpenOk(Out(dev));
  server.StopReading("1-1");
  // Far more than the socket buffers hold: a submit that writes on the caller's thread would
  // wait out its write time-out (2 s) once they are full.
  const std::vector<uint8_t> block(65536, 0x55);
  std::vector<pw::usb::RequestPtr> requests;
  auto slowest = std::chrono::steady_clock::duration::zero();
  for (int i = 0; i < 200; ++i) {
    const auto start = std::chrono::steady_clock::now();
    requests.push_back(driver->Write(out, block.data(), block.size()));
    slowest = std::max(slowest, std::chrono::steady_clock::now() - start);
  }
  EXPECT_LT(slowest, 1s);
  EXPECT_FALSE(requests.back()->Done());
  driver->Close(out);  // cancels them; none stays pending
  for (const auto& request : requests) EXPECT_TRUE(request->Wait(10s));
}

TEST(UsbipClientTrickle, AReplyThatTricklesInIsCutAtItsDeadline) {
  UsbipStubServer server;
  server.AddDevice(UsbipStubServer::Receiver("1-1"));
  server.TrickleDeviceLists(100ms);  // the list's 328 bytes would take half a minute
  std::vector<std::unique_ptr<pw::usb::Backend>> backends;
  backends.push_back(pw::usb::MakeUsbipBackend({{"127.0.0.1", server.port()}}, 50ms));
  pw::usb::Driver driver(std::move(backends));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(driver.Enumerate().empty());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);  // one reply deadline is 1.5 s
}

// Unreachable servers list nothing and say why in the driver's note (the same text while the
// cause lasts, so the program says it once); the note is empty while all is well.
TEST(UsbipClientNoServer, AnUnreachableServerListsNothingAndSaysWhy) {
  std::vector<std::unique_ptr<pw::usb::Backend>> backends;
  // Port 1 on loopback: connection refused at once. A reserved name never resolves.
  backends.push_back(
      pw::usb::MakeUsbipBackend({{"127.0.0.1", 1}, {"no-such-host.invalid", 3240}}, 50ms));
  pw::usb::Driver driver(std::move(backends));
  EXPECT_TRUE(driver.Enumerate().empty());
  EXPECT_EQ(driver.Open("usbip:127.0.0.1:1/1-1").status, Status::NotFound);
  const std::string note = driver.BackendNote();
  EXPECT_NE(note.find("The USB/IP server 127.0.0.1:1 cannot be reached: the connection was "
                      "refused; still trying."),
            std::string::npos)
      << note;
  EXPECT_NE(note.find("The USB/IP server no-such-host.invalid:3240 cannot be reached: the host "
                      "name no-such-host.invalid does not resolve"),
            std::string::npos)
      << note;
  driver.Enumerate();
  EXPECT_EQ(driver.BackendNote(), note);
  EXPECT_EQ(pw::usb::Driver().BackendNote(), "");
}
