// The USB driver's USB/IP client against the emulated receiver program (`penwick-sim usb`) on
// loopback: descriptors, pipes, an echoed frame, an unlinked silent read, and a reboot seen as
// a removal (failing the read in flight) and then an arrival.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstring>
#include <sstream>

#include "backends.hpp"
#include "child_process.h"
#include "penwick/usb_driver.hpp"
#include "penwick/window.hpp"

using namespace std::chrono_literals;
using pw::usb::Status;

namespace {

// penwick-sim usb as a child process; its first stdout line gives the port.
class Sim {
 public:
  explicit Sim(std::vector<std::string> args) {
    args.insert(args.begin(), {PENWICK_SIM_PATH, "usb", "--port", "0"});
    if (!child_.Start(args)) return;
    // "USBIP 127.0.0.1:<port> busid 1-1"
    const std::string line = child_.ReadLine(10s);
    const auto colon = line.find(':');
    if (line.starts_with("USBIP ") && colon != std::string::npos) {
      port_ = static_cast<uint16_t>(std::stoi(line.substr(colon + 1)));
    }
  }
  uint16_t port() const { return port_; }
  void Reboot() const { child_.Signal(SIGUSR1); }

 private:
  pwtest::ChildProcess child_;
  uint16_t port_ = 0;
};

class UsbSimTest : public ::testing::Test {
 protected:
  void Start(std::vector<std::string> args) {
    sim = std::make_unique<Sim>(std::move(args));
    ASSERT_NE(sim->port(), 0) << "penwick-sim did not say where it listens";
    dev = "usbip:127.0.0.1:" + std::to_string(sim->port()) + "/1-1";
    std::vector<std::unique_ptr<pw::usb::Backend>> backends;
    backends.push_back(pw::usb::MakeUsbipBackend({{"127.0.0.1", sim->port()}}, 100ms));
    driver = std::make_unique<pw::usb::Driver>(std::move(backends));
    registration = driver->RegisterNotices(window.handle());
  }
  void TearDown() override {
    if (driver) driver->UnregisterNotices(registration);
    driver.reset();
  }
  pw::usb::Handle OpenOk(const std::string& path) {
    auto result = driver->Open(path);
    EXPECT_EQ(result.status, Status::Success) << path << ": " << result.message;
    return result.handle;
  }
  bool AwaitNotice(uint32_t event) {
    return window.Pump(
        [&] {
          for (auto& m : messages) {
            if (m.event == event && m.devicePath == dev) return true;
          }
          return false;
        },
        15s);
  }

  std::vector<pw::Message> messages;
  PwWindow window{[this](const pw::Message& m) {
    messages.push_back(m);
    return intptr_t{0};
  }};
  std::unique_ptr<Sim> sim;
  std::unique_ptr<pw::usb::Driver> driver;
  uint32_t registration = 0;
  std::string dev;
};

}  // namespace

TEST_F(UsbSimTest, DescriptorsPipesAndAnEchoedFrame) {
  Start({"--bcd-device", "0100", "--max-packet", "512", "--echo"});
  EXPECT_EQ(driver->Enumerate(), std::vector<std::string>{dev});
  const auto device = OpenOk(dev);
  uint8_t descriptor[18] = {};
  size_t got = 0;
  ASSERT_EQ(driver->ControlTransfer(device, {0x80, 6, 0, 1, 0, 0, 18, 0}, descriptor, &got),
            Status::Success);
  EXPECT_EQ(got, 18u);
  EXPECT_EQ(descriptor[12] | descriptor[13] << 8, 0x0100);

  const auto out = OpenOk(pw::usb::PipePath(dev, 0));
  const auto in = OpenOk(pw::usb::PipePath(dev, 1));
  EXPECT_EQ(driver->Open(pw::usb::PipePath(dev, 2)).status, Status::NotFound);
  const uint8_t frame[9] = {'H', 'a', 'V', 'o', 0, 1, 2, 3, 4};
  auto write = driver->Write(out, frame, sizeof frame);
  ASSERT_TRUE(write->Wait(10s));
  EXPECT_EQ(write->status(), Status::Success);
  EXPECT_EQ(write->Transferred(), 9u);
  auto read = driver->Read(in, 512);
  ASSERT_TRUE(read->Wait(10s));
  EXPECT_EQ(read->status(), Status::Success);
  ASSERT_EQ(read->Transferred(), 9u);
  EXPECT_EQ(std::memcmp(read->Received().data(), frame, 9), 0);

  // Nothing to send: the read stays pending until it is unlinked; the pipe stays in step.
  auto silent = driver->Read(in, 512);
  EXPECT_FALSE(silent->Wait(200ms));
  driver->CancelIo(in);
  ASSERT_TRUE(silent->Wait(10s));
  EXPECT_EQ(silent->status(), Status::Cancelled);
  write = driver->Write(out, frame, 4);
  ASSERT_TRUE(write->Wait(10s));
  read = driver->Read(in, 512);
  ASSERT_TRUE(read->Wait(10s));
  EXPECT_EQ(read->Transferred(), 4u);
  driver->Close(in);
  driver->Close(out);
  driver->Close(device);
}

TEST_F(UsbSimTest, ARebootIsARemovalThenAnArrival) {
  Start({"--reboot-delay-ms", "500"});
  const auto in = OpenOk(pw::usb::PipePath(dev, 1));
  auto read = driver->Read(in, 64);
  EXPECT_FALSE(read->Wait(100ms));
  sim->Reboot();
  ASSERT_TRUE(read->Wait(10s));
  EXPECT_EQ(read->status(), Status::NoDevice);
  ASSERT_TRUE(AwaitNotice(pw::kDeviceRemoveComplete));
  ASSERT_TRUE(AwaitNotice(pw::kDeviceArrival));
  // The removal came first.
  size_t removal = messages.size(), arrival = messages.size();
  for (size_t i = 0; i < messages.size(); ++i) {
    if (messages[i].event == pw::kDeviceRemoveComplete && removal == messages.size()) removal = i;
    if (messages[i].event == pw::kDeviceArrival) arrival = i;
  }
  EXPECT_LT(removal, arrival);
  const auto again = OpenOk(pw::usb::PipePath(dev, 1));
  driver->Close(again);
  driver->Close(in);
}
