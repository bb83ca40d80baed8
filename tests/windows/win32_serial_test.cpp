// The Win32 serial port on a real COM port whose far end echoes every byte (under Wine, a COM
// port that scripts/test-windows.sh points at a pseudo-terminal with an echo peer; its name is
// in PENWICK_TEST_COM): timed waits, exact binary round trips, exclusive use, and a Close that
// wakes a waiting thread.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "penwick/serial_port.hpp"
#include "posix_env.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using pw::SerialPort;

// Wine opens a COM port as often as asked, whatever the sharing mode; Windows' port drivers
// refuse a second open.
bool UnderWine() {
  const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST(Win32SerialNames, ComNamesUseTheDeviceNamespace) {
  unsetenv("PENWICK_COM3");
  const struct {
    const char* name;
    const char* path;
  } cases[] = {
      {"COM1", "\\\\.\\COM1"},
      {"com10", "\\\\.\\COM10"},
      {"COM256", "\\\\.\\COM256"},
      {"\\\\.\\COM4", "\\\\.\\COM4"},
      {"COM0", "COM0"},
      {"COMX", "COMX"},
      {"LPT1", "LPT1"},
  };
  for (const auto& c : cases) EXPECT_EQ(pw::ResolveSerialPortName(c.name), c.path) << c.name;
  setenv("PENWICK_COM3", "\\\\.\\COM12", 1);
  EXPECT_EQ(pw::ResolveSerialPortName("COM3"), "\\\\.\\COM12");
  unsetenv("PENWICK_COM3");
}

class Win32SerialEcho : public testing::Test {
 protected:
  void SetUp() override {
    const char* name = std::getenv("PENWICK_TEST_COM");
    ASSERT_NE(name, nullptr) << "PENWICK_TEST_COM names the echo port (scripts/test-windows.sh)";
    name_ = name;
    std::string why;
    ASSERT_TRUE(port_.Open(name_, 115200, &why)) << why;
  }

  // Collects `count` echoed bytes, waiting at most 10 s in all.
  std::vector<uint8_t> Collect(size_t count) {
    std::vector<uint8_t> got;
    const auto deadline = Clock::now() + 10s;
    while (got.size() < count && Clock::now() < deadline) {
      if (port_.WaitForData(500ms) != SerialPort::WaitResult::Data) continue;
      uint8_t buffer[300];
      const long n = port_.Read(buffer, sizeof buffer);
      if (n < 0) break;
      got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }

  std::string name_;
  SerialPort port_;
};

TEST_F(Win32SerialEcho, TimedWaitsAndExactRoundTrips) {
  // Nothing sent: the wait ends by its time-out, not before and not much after.
  const auto start = Clock::now();
  EXPECT_EQ(port_.WaitForData(300ms), SerialPort::WaitResult::Timeout);
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, 250ms);
  EXPECT_LT(waited, 5s);
  uint8_t nothing[4];
  EXPECT_EQ(port_.Read(nothing, sizeof nothing), 0);

  // Every byte value, twice, comes back exactly; the byte a wait read ahead comes first.
  std::vector<uint8_t> sent;
  for (int i = 0; i < 512; ++i) sent.push_back(static_cast<uint8_t>(i));
  ASSERT_EQ(port_.Write(sent.data(), sent.size()), static_cast<long>(sent.size()));
  EXPECT_EQ(Collect(sent.size()), sent);

  // A purge drops what the wait had read ahead too.
  const uint8_t one = 0x55;
  ASSERT_EQ(port_.Write(&one, 1), 1);
  ASSERT_EQ(port_.WaitForData(5s), SerialPort::WaitResult::Data);
  port_.Purge();
  EXPECT_EQ(port_.Read(nothing, sizeof nothing), 0);
}

TEST_F(Win32SerialEcho, ExclusiveUseAndCloseWakesAWaiter) {
  SerialPort other;
  std::string why;
  if (!UnderWine()) {
    EXPECT_FALSE(other.Open(name_, 115200, &why));
    EXPECT_NE(why.find("in use"), std::string::npos) << why;
  }

  auto waiter = std::async(std::launch::async, [&] { return port_.WaitForData(60s); });
  std::this_thread::sleep_for(200ms);
  const auto start = Clock::now();
  port_.Close();
  ASSERT_EQ(waiter.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(waiter.get(), SerialPort::WaitResult::Closed);
  EXPECT_LT(Clock::now() - start, 5s);
  uint8_t byte = 0;
  EXPECT_EQ(port_.Read(&byte, 1), -1);
  EXPECT_EQ(port_.Write(&byte, 1), -1);

  // The port is free again at once.
  EXPECT_TRUE(other.Open(name_, 115200, &why)) << why;
}

}  // namespace
