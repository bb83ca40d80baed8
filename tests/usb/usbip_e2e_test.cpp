// The library against the emulated receiver, reached over USB/IP on loopback: arrival,
// pipes, lengths on the wire, swapped mode, silent and empty replies, removal and reboot.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numeric>
#include <thread>

#include "HvUsb.h"
#include "penwick/usb_backend.hpp"
#include "penwick/window.hpp"
#include "sim_process.h"

namespace hvusb_test {
namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// A trace file for the receiver (--trace), removed at the end of the test.
struct TraceFile {
  std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("pw-usbip-trace-" + std::to_string(::getpid()));
  ~TraceFile() { std::filesystem::remove(path); }
  // Waits (bounded) until the receiver has traced a bulk IN request: a read is waiting on it.
  bool WaitForRead() const {
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
      std::ifstream in(path);
      const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      if (text.find(" in seq=") != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
};

class UsbipReceiver : public ::testing::Test {
 protected:
  // The driver's time-outs stay as they are, so that a loaded machine cannot make an answer
  // late: only a wait that must run out is shortened, around that wait alone.
  void SetUp() override { InitDevice(); }
  void TearDown() override {
    DeviceRemoval(nullptr);
    pw::usb::Driver::Process().Reset({});
    pw::usb::SetTimeoutPermille(1000);
  }

  // Starts the receiver and opens it; false (with a test failure) when either fails.
  bool Start(std::vector<std::string> options) {
    sim = std::make_unique<SimProcess>(options);
    if (!sim->ok()) {
      ADD_FAILURE() << "the emulated receiver did not start";
      return false;
    }
    sim->UseAsOnlyReceiver();
    path = sim->DevicePath();
    return true;
  }
  bool StartAndOpen(std::vector<std::string> options) {
    if (!Start(std::move(options))) return false;
    const int arrived = DeviceArrival(path.c_str());
    EXPECT_EQ(arrived, 1);
    return arrived == 1;
  }
  static bool HeldByLibrary(const std::string& pipePath) {
    auto probe = pw::usb::Driver::Process().Open(pipePath);
    if (probe.handle != pw::usb::kInvalidHandle) pw::usb::Driver::Process().Close(probe.handle);
    return probe.status == pw::usb::Status::Busy;
  }

  std::unique_ptr<SimProcess> sim;
  std::string path;
};

TEST_F(UsbipReceiver, ArrivalThroughStartPnpNoticeAndPipeAssignment) {
  ASSERT_TRUE(Start({"--max-packet", "64", "--bcd-device", "0200", "--echo"}));
  EXPECT_EQ(StartPnpNotice(nullptr), 1);
  EXPECT_TRUE(HeldByLibrary(path + "\\INTERFACE_0x00\\PIPE_0x00"));
  EXPECT_TRUE(HeldByLibrary(path + "\\INTERFACE_0x00\\PIPE_0x01"));
  int32_t vid = 0, pid = 0;
  ASSERT_EQ(GetDeviceVidPid(&vid, &pid), 1);
  EXPECT_EQ(vid, 0x1209);
  EXPECT_EQ(pid, 0x0001);

  // 9 bytes go as one 64-byte packet, the byte after the count first in the padding; the
  // echo proves it, and that the 12-byte read asked for the whole packet.
  Bytes frame(10);
  std::iota(frame.begin(), frame.end(), uint8_t{0x30});
  ASSERT_EQ(UsbWrite(frame.data(), 9), 1u);
  Bytes reply(80, 0xEE);
  EXPECT_EQ(UsbRead(reply.data(), 12), 12u);
  EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 10), frame);
  EXPECT_EQ(reply[12], 0xEE);

  EXPECT_EQ(DeviceRemoval(path.c_str()), 1);
  EXPECT_EQ(GetDeviceVidPid(&vid, &pid), 0);
  uint32_t version = 0;
  EXPECT_EQ(GetDeviceVersion(&version), 0);
  EXPECT_FALSE(HeldByLibrary(path + "\\INTERFACE_0x00\\PIPE_0x00"));
}

TEST_F(UsbipReceiver, ReadAdjustmentOnTheWire) {
  ASSERT_TRUE(StartAndOpen({"--max-packet", "64", "--bcd-device", "0200", "--echo"}));
  // A 100-byte write travels as 128 bytes; the 63- and 64-byte reads must ask for 128 bytes
  // to take the echo (a 64-byte request would overflow).
  Bytes frame(128, 0x42);
  Bytes reply(200);
  for (uint32_t expected : {63u, 64u}) {
    ASSERT_EQ(UsbWrite(frame.data(), 100), 1u);
    EXPECT_EQ(UsbRead(reply.data(), expected), expected + 2) << expected;
  }
}

TEST_F(UsbipReceiver, LargestTransfers) {
  ASSERT_TRUE(StartAndOpen({"--max-packet", "512", "--bcd-device", "0200", "--echo"}));
  Bytes frame(65537 + 2, 0);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 7);
  EXPECT_EQ(UsbWrite(frame.data(), 65537), 0u);
  ASSERT_EQ(UsbWrite(frame.data(), 65536), 1u);
  Bytes reply(65539);
  EXPECT_EQ(UsbRead(reply.data(), 65536), 0u);  // adjusted to 65,538: refused at once
  EXPECT_EQ(UsbRead(reply.data(), 65537), 65535u);
  EXPECT_TRUE(std::equal(frame.begin(), frame.begin() + 65536, reply.begin()));
}

TEST_F(UsbipReceiver, SwappedModeOnlyForVersionsOneDotXx) {
  for (const char* version : {"0100", "01FF", "00FF", "0200"}) {
    SCOPED_TRACE(version);
    const bool swapped = version[1] == '1';
    // The receiver answers by what arrives on the wire.
    ASSERT_TRUE(StartAndOpen({"--max-packet", "64", "--bcd-device", version, "--rule",
                              "write 0201 => read 0a0b", "--rule", "write 0102 => read 0c0d"}));
    const uint8_t frame[2] = {1, 2};
    ASSERT_EQ(UsbWrite(frame, 2), 1u);
    uint8_t reply[8] = {};
    ASSERT_EQ(UsbRead(reply, 2), 2u);
    EXPECT_EQ(Bytes(reply, reply + 2), swapped ? (Bytes{0x0b, 0x0a}) : (Bytes{0x0c, 0x0d}));
    DeviceRemoval(nullptr);
    pw::usb::Driver::Process().Reset({});
    sim.reset();
  }
}

TEST_F(UsbipReceiver, ZeroLengthReplyGivesZero) {
  ASSERT_TRUE(StartAndOpen({"--max-packet", "64", "--rule", "write * => zero"}));
  const uint8_t frame[2] = {1, 2};
  ASSERT_EQ(UsbWrite(frame, 2), 1u);
  uint8_t reply[16];
  EXPECT_EQ(UsbRead(reply, 12), 0u);
}

TEST_F(UsbipReceiver, SilentReceiverTimesOutAndTheRequestIsUnlinked) {
  ASSERT_TRUE(StartAndOpen(
      {"--max-packet", "64", "--bcd-device", "0200", "--rule", "write 55 => read 66"}));
  uint8_t reply[16] = {};
  pw::usb::SetTimeoutPermille(25);  // an 8 s read waits 200 ms
  const auto start = Clock::now();
  EXPECT_EQ(UsbRead(reply, 1), 0u);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(150));
  pw::usb::SetTimeoutPermille(1000);
  // Had the first request stayed on the device, the answer would go to it.
  const uint8_t frame[2] = {0x55, 0};
  ASSERT_EQ(UsbWrite(frame, 1), 1u);
  EXPECT_EQ(UsbRead(reply, 1), 1u);
  EXPECT_EQ(reply[0], 0x66);
}

TEST_F(UsbipReceiver, RemovalDuringAWaitEndsIt) {
  const TraceFile trace;
  ASSERT_TRUE(StartAndOpen({"--max-packet", "64", "--trace", trace.path.string()}));
  std::atomic<uint32_t> result{99};
  std::atomic<Clock::rep> returnedAt{0};
  std::thread reader([&] {
    uint8_t reply[80];
    result = UsbRead(reply, 64);
    returnedAt = Clock::now().time_since_epoch().count();
  });
  EXPECT_TRUE(trace.WaitForRead());
  EXPECT_EQ(returnedAt.load(), 0);
  const auto removed = Clock::now();
  DeviceRemoval(path.c_str());
  reader.join();
  EXPECT_EQ(result.load(), 0u);
  const Clock::time_point returned(Clock::duration(returnedAt.load()));
  EXPECT_LT(returned - removed, std::chrono::milliseconds(1500));  // 100 ms, with slack
}

TEST_F(UsbipReceiver, RebootIsARemovalThenAnArrival) {
  const TraceFile trace;
  ASSERT_TRUE(Start({"--max-packet", "64", "--reboot-delay-ms", "500", "--echo", "--trace",
                     trace.path.string()}));
  int arrivals = 0, removals = 0;
  std::atomic<uint32_t> readResult{99};
  PwWindow window([&](const pw::Message& m) -> intptr_t {
    if (m.kind != pw::MessageKind::DeviceChange) return 0;
    if (m.event == pw::kDeviceArrival) arrivals += DeviceArrival(m.devicePath.c_str());
    if (m.event == pw::kDeviceRemoveComplete) removals += DeviceRemoval(m.devicePath.c_str());
    return 0;
  });
  ASSERT_EQ(StartPnpNotice(window.handle()), 1);
  std::thread reader([&] {
    uint8_t reply[80];
    readResult = UsbRead(reply, 64);  // waiting when the device goes away
  });
  EXPECT_TRUE(trace.WaitForRead());
  sim->Reboot();
  EXPECT_TRUE(window.Pump([&] { return removals == 1; }, std::chrono::seconds(10)));
  reader.join();
  EXPECT_EQ(readResult.load(), 0u);
  EXPECT_TRUE(window.Pump([&] { return arrivals == 1; }, std::chrono::seconds(10)));
  uint32_t version = 0;
  EXPECT_EQ(GetDeviceVersion(&version), 1);
  const uint8_t frame[4] = {1, 2, 3, 4};
  EXPECT_EQ(UsbWrite(frame, 4), 1u);
  uint8_t reply[80] = {};
  EXPECT_EQ(UsbRead(reply, 4), 4u);
  window.Close();
}

TEST_F(UsbipReceiver, ConfigurationShapes) {
  const struct {
    const char* shape;
    int arrival;
  } cases[] = {{"no-endpoints", 1},      {"endpoints-33", 0}, {"extra-descriptors", 1},
               {"between-endpoints", 0}, {"zero-length", 0},  {"total-below-18", 0},
               {"first-short", 0},       {"two-in", 1},       {"short", 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shape);
    ASSERT_TRUE(Start({"--config", c.shape}));
    EXPECT_EQ(DeviceArrival(path.c_str()), c.arrival);
    const uint8_t frame[2] = {1, 2};
    if (std::string(c.shape) == "no-endpoints") {
      EXPECT_EQ(UsbWrite(frame, 2), 0u);
    }
    DeviceRemoval(nullptr);
    pw::usb::Driver::Process().Reset({});
    sim.reset();
  }
}

TEST_F(UsbipReceiver, TryDeviceOpenAfterAFailedOpen) {
  ASSERT_TRUE(Start({"--max-packet", "64", "--echo"}));
  EXPECT_EQ(TryDeviceOpen(), 0);
  // Another client holds the device: the arrival cannot open it.
  auto other = std::make_unique<pw::usb::Driver>(pw::usb::Driver::BackendsFromEnvironment());
  auto held = other->Open(path);
  ASSERT_NE(held.handle, pw::usb::kInvalidHandle);
  EXPECT_EQ(DeviceArrival(path.c_str()), 0);
  EXPECT_EQ(TryDeviceOpen(), 0);
  other->Close(held.handle);
  other.reset();
  bool opened = false;  // the server may need a moment to release the import
  for (int i = 0; i < 50 && !opened; ++i) {
    opened = TryDeviceOpen() == 1;
    if (!opened) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(opened);
  EXPECT_EQ(DeviceArrival(nullptr), 1);
  EXPECT_EQ(TryDeviceOpen(), 0);
  const uint8_t frame[2] = {7, 8};
  EXPECT_EQ(UsbWrite(frame, 2), 1u);
}

}  // namespace
}  // namespace hvusb_test
