// Discovery and hot-plug over the scripted fake driver: pipe assignment, the configuration
// cases as a device sends them, a second arrival, failed opens and removal.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "fake_receiver.h"
#include "penwick/window.hpp"

namespace hvusb_test {
namespace {

using pw::usb::FakeBackend;
using Clock = std::chrono::steady_clock;

// Checks, after the exit handlers of a death test's child have run, that the library closed
// the device it held (a global's destructor runs after handlers registered later).
struct ExitProbe {
  FakeBackend* fake = nullptr;
  ~ExitProbe() {
    if (fake != nullptr && fake->OpenSessions(kPath) != 0) _exit(3);
  }
} exitProbe;

class Arrival : public FakeReceiver {
 protected:
  // True when the library holds `pipePath` open (opens are exclusive).
  static bool HeldByLibrary(const std::string& pipePath) {
    auto probe = pw::usb::Driver::Process().Open(pipePath);
    if (probe.handle != pw::usb::kInvalidHandle) pw::usb::Driver::Process().Close(probe.handle);
    return probe.status == pw::usb::Status::Busy;
  }
};

TEST_F(Arrival, ReceiverGetsOutPipeZeroAndInPipeOne) {
  ASSERT_EQ(AttachReceiver(64, 0x0123), 1);
  EXPECT_TRUE(HeldByLibrary(std::string(kPath) + "\\INTERFACE_0x00\\PIPE_0x00"));
  EXPECT_TRUE(HeldByLibrary(std::string(kPath) + "\\INTERFACE_0x00\\PIPE_0x01"));
  const uint8_t frame[4] = {1, 2, 3, 4};
  EXPECT_EQ(UsbWrite(frame, 4), 1u);
  EXPECT_EQ(fake->Written(kPath, kOutEp).size(), 1u);
  ScriptReply({5});
  uint8_t buffer[8];
  EXPECT_EQ(UsbRead(buffer, 1), 1u);

  int32_t vid = 0, pid = 0;
  uint32_t version = 0;
  ASSERT_EQ(GetDeviceVidPid(&vid, &pid), 1);
  EXPECT_EQ(vid, 0x1234);
  EXPECT_EQ(pid, 0x5678);
  ASSERT_EQ(GetDeviceVersion(&version), 1);
  EXPECT_EQ(version, 0x0123u);
  // Device and configuration descriptors, then the three strings (256 bytes each).
  const auto log = fake->ControlLog(kPath);
  ASSERT_GE(log.size(), 6u);
  EXPECT_EQ(log[0], (std::array<uint8_t, 8>{0x80, 6, 0, 1, 0, 0, 18, 0}));
  EXPECT_EQ(log[1], (std::array<uint8_t, 8>{0x80, 6, 0, 2, 0, 0, 9, 0}));
  EXPECT_EQ(log[3], (std::array<uint8_t, 8>{0x80, 6, 1, 3, 0x09, 0x08, 0, 1}));
}

TEST_F(Arrival, AfterRemovalNothingIsKnown) {
  ASSERT_EQ(AttachReceiver(), 1);
  EXPECT_EQ(DeviceRemoval(kPath), 1);
  int32_t vid = -1, pid = -1;
  uint32_t version = 7;
  EXPECT_EQ(GetDeviceVidPid(&vid, &pid), 0);
  EXPECT_EQ(GetDeviceVersion(&version), 0);
  EXPECT_EQ(vid, -1);
  EXPECT_EQ(version, 7u);
  uint8_t buffer[8] = {};
  EXPECT_EQ(UsbWrite(buffer, 2), 0u);
  // The pipes were closed: they can be opened by someone else now.
  EXPECT_FALSE(HeldByLibrary(std::string(kPath) + "\\INTERFACE_0x00\\PIPE_0x00"));
  EXPECT_EQ(DeviceRemoval(nullptr), 1);  // nothing open: still fine
}

TEST_F(Arrival, FirstOfTwoInPipesIsUsedAndZeroPacketSizeIsNoPipe) {
  Bytes set = ConfigurationSet({InterfaceDescriptor(3), EndpointDescriptor(0x81, 64),
                                EndpointDescriptor(0x82, 64), EndpointDescriptor(0x02, 64)});
  ASSERT_EQ(Attach(kPath, WithConfiguration(set)), 1);
  EXPECT_TRUE(HeldByLibrary(std::string(kPath) + "\\INTERFACE_0x00\\PIPE_0x01"));  // unused
  fake->ScriptRead(kPath, 0x81, FakeBackend::Reply{{7}});
  uint8_t buffer[8];
  EXPECT_EQ(UsbRead(buffer, 1), 1u);
  DeviceRemoval(nullptr);

  set = ConfigurationSet(
      {InterfaceDescriptor(2), EndpointDescriptor(0x01, 0), EndpointDescriptor(0x82, 64)});
  EXPECT_EQ(Attach(kOtherPath, WithConfiguration(set)), 0);  // no usable OUT pipe
  EXPECT_EQ(UsbWrite(buffer, 2), 0u);
}

TEST_F(Arrival, ConfigurationCases) {
  // No endpoints: the device arrives, but nothing can be transferred.
  ASSERT_EQ(Attach(kPath, WithConfiguration(ConfigurationSet({InterfaceDescriptor(0)}))), 1);
  uint8_t buffer[8] = {};
  EXPECT_EQ(UsbWrite(buffer, 2), 0u);
  EXPECT_EQ(UsbRead(buffer, 2), 0u);
  DeviceRemoval(nullptr);
  fake->RemoveDevice(kPath, false);

  std::vector<Bytes> parts{InterfaceDescriptor(33)};
  for (int i = 0; i < 33; ++i) parts.push_back(EndpointDescriptor(0x01, 64));
  EXPECT_EQ(Attach(kPath, WithConfiguration(ConfigurationSet(parts))), 0);
  DeviceRemoval(nullptr);
  fake->RemoveDevice(kPath, false);

  const Bytes other{4, 0x21, 0, 0};
  ASSERT_EQ(Attach(kPath, WithConfiguration(ConfigurationSet({other, InterfaceDescriptor(2), other,
                                                              EndpointDescriptor(0x01, 64),
                                                              EndpointDescriptor(0x82, 64)}))),
            1);
  DeviceRemoval(nullptr);
  fake->RemoveDevice(kPath, false);

  EXPECT_EQ(Attach(kPath, WithConfiguration(ConfigurationSet({InterfaceDescriptor(2),
                                                              EndpointDescriptor(0x01, 64), other,
                                                              EndpointDescriptor(0x82, 64)}))),
            0);
  DeviceRemoval(nullptr);
  fake->RemoveDevice(kPath, false);

  Bytes shortSet = ConfigurationSet({InterfaceDescriptor(0)});
  shortSet[2] = 17;
  EXPECT_EQ(Attach(kPath, WithConfiguration(shortSet)), 0);
  DeviceRemoval(nullptr);
  fake->RemoveDevice(kPath, false);

  EXPECT_EQ(Attach(kPath, WithConfiguration(
                              ConfigurationSet({Bytes{0, 0x21, 0, 0}, InterfaceDescriptor(0)}))),
            0);
}

TEST_F(Arrival, HalfOpenKeepsIdentifiersUntilRemoval) {
  auto descriptors = WithConfiguration(ConfigurationSet({InterfaceDescriptor(33)}), 0x0101);
  EXPECT_EQ(Attach(kPath, descriptors), 0);
  int32_t vid = 0, pid = 0;
  uint32_t version = 0;
  EXPECT_EQ(GetDeviceVidPid(&vid, &pid), 1);
  EXPECT_EQ(vid, 0x1234);
  EXPECT_EQ(GetDeviceVersion(&version), 1);  // the version was read before the walk failed
  EXPECT_EQ(version, 0x0101u);
  uint8_t buffer[8] = {};
  EXPECT_EQ(UsbWrite(buffer, 2), 0u);
}

TEST_F(Arrival, SecondArrivalKeepsAUsableDeviceAndReplacesAFailedOne) {
  ASSERT_EQ(AttachReceiver(), 1);
  EXPECT_EQ(Attach(kOtherPath, FakeBackend::ReceiverDescriptors(512, 0x0300)), 0);
  EXPECT_EQ(fake->OpenSessions(kOtherPath), 0);
  uint32_t version = 0;
  ASSERT_EQ(GetDeviceVersion(&version), 1);
  EXPECT_EQ(version, 0x0200u);
  // A removal notice for the other device leaves the open one working.
  EXPECT_EQ(DeviceRemoval(kOtherPath), 1);
  const uint8_t frame[2] = {1, 2};
  EXPECT_EQ(UsbWrite(frame, 2), 1u);
  DeviceRemoval(kPath);

  // A half-open device gives way to the next arrival, and its session is released.
  fake->RemoveDevice(kPath, false);
  EXPECT_EQ(Attach(kPath, WithConfiguration(ConfigurationSet({InterfaceDescriptor(33)}))), 0);
  EXPECT_EQ(fake->OpenSessions(kPath), 1);
  EXPECT_EQ(DeviceArrival(kOtherPath), 1);
  EXPECT_EQ(fake->OpenSessions(kPath), 0);
  ASSERT_EQ(GetDeviceVersion(&version), 1);
  EXPECT_EQ(version, 0x0300u);
}

TEST_F(Arrival, FailedOpenIsRememberedForTryDeviceOpen) {
  EXPECT_EQ(TryDeviceOpen(), 0);
  fake->AddDevice(kPath, FakeBackend::ReceiverDescriptors(64), false);
  fake->RefuseOpens(kPath, pw::usb::Status::AccessDenied, 2);
  EXPECT_EQ(DeviceArrival(kPath), 0);  // pending
  EXPECT_EQ(UsbWrite(reinterpret_cast<const uint8_t*>("ab"), 2), 0u);
  EXPECT_EQ(TryDeviceOpen(), 0);  // second refusal
  EXPECT_EQ(TryDeviceOpen(), 1);
  EXPECT_EQ(fake->OpenSessions(kPath), 0);  // closed again at once
  EXPECT_EQ(DeviceArrival(nullptr), 1);
  EXPECT_EQ(TryDeviceOpen(), 0);  // nothing pending any more
  EXPECT_EQ(UsbWrite(reinterpret_cast<const uint8_t*>("ab"), 2), 1u);
}

TEST_F(Arrival, BadPathsAreRefused) {
  EXPECT_EQ(DeviceArrival(nullptr), 0);  // nothing remembered
  const std::string tooLong = "fake:" + std::string(pw::usb::kMaxDevicePathLength, '1');
  fake->AddDevice(tooLong, FakeBackend::ReceiverDescriptors(64), false);
  EXPECT_EQ(DeviceArrival(tooLong.c_str()), 0);
  EXPECT_EQ(TryDeviceOpen(), 0);  // not remembered either
}

TEST_F(Arrival, RemovalEndsAWaitingReadPromptly) {
  ASSERT_EQ(AttachReceiver(), 1);
  pw::usb::SetTimeoutPermille(1000);  // the read would wait 8 s
  std::atomic<uint32_t> result{99};
  Clock::time_point end;
  std::thread reader([&] {
    uint8_t buffer[80];
    result = UsbRead(buffer, 64);
    end = Clock::now();
  });
  while (fake->PendingCount(kPath) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const auto removed = Clock::now();
  EXPECT_EQ(DeviceRemoval(kPath), 1);
  reader.join();
  EXPECT_EQ(result.load(), 0u);
  EXPECT_LT(end - removed, std::chrono::milliseconds(1500));  // 100 ms, with slack
}

TEST_F(Arrival, UnpluggedDeviceEndsAWaitingWrite) {
  ASSERT_EQ(AttachReceiver(), 1);
  pw::usb::SetTimeoutPermille(1000);
  FakeBackend::Reply never;
  never.timing = FakeBackend::Timing::Never;
  fake->ScriptWrite(kPath, kOutEp, never);
  std::atomic<uint32_t> result{99};
  Clock::time_point end;
  std::thread writer([&] {
    const uint8_t frame[9] = {};
    result = UsbWrite(frame, 8);
    end = Clock::now();
  });
  while (fake->PendingCount(kPath) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const auto removed = Clock::now();
  fake->RemoveDevice(kPath, false);  // the driver fails the request in flight
  writer.join();
  EXPECT_EQ(result.load(), 0u);
  EXPECT_LT(end - removed, std::chrono::milliseconds(1500));  // 100 ms, with slack
}

TEST_F(Arrival, ExitHandlerClosesTheOpenDevice) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        if (AttachReceiver() != 1 || fake->OpenSessions(kPath) != 1) _exit(2);
        exitProbe.fake = fake;
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(Arrival, PresentDevicesAndNoticesThroughTheWindow) {
  fake->AddDevice(kPath, FakeBackend::ReceiverDescriptors(64), false);
  int arrivals = 0, removals = 0;
  PwWindow window([&](const pw::Message& m) -> intptr_t {
    if (m.kind != pw::MessageKind::DeviceChange) return 0;
    if (m.event == pw::kDeviceArrival) arrivals += DeviceArrival(m.devicePath.c_str());
    if (m.event == pw::kDeviceRemoveComplete) removals += DeviceRemoval(m.devicePath.c_str());
    return 0;
  });
  EXPECT_EQ(StartPnpNotice(window.handle()), 1);
  fake->RemoveDevice(kPath);
  EXPECT_TRUE(window.Pump([&] { return removals == 1; }, std::chrono::seconds(5)));
  uint32_t version = 0;
  EXPECT_EQ(GetDeviceVersion(&version), 0);
  fake->AddDevice(kPath, FakeBackend::ReceiverDescriptors(64, 0x0150));
  EXPECT_TRUE(window.Pump([&] { return arrivals == 1; }, std::chrono::seconds(5)));
  ASSERT_EQ(GetDeviceVersion(&version), 1);
  EXPECT_EQ(version, 0x0150u);
  window.Close();
}

}  // namespace
}  // namespace hvusb_test
