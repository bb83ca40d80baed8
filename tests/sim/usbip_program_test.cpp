// `penwick-sim usb` as a program: its options, the line that says where it listens, SIGUSR1
// rebooting the device and a clean stop on SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "usbip_test_client.h"

namespace sim::usbip {
namespace {

using test::Client;
using test::DeviceCount;
using test::RequestDevlist;

// A running penwick-sim whose stdout is a pipe; killed at the end of the test if still alive.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    args.insert(args.begin(), {PENWICK_SIM_PATH, "usb"});
    child_.Start(args);
  }

  // Everything the program wrote to stdout up to its first newline (10 s at most).
  std::string FirstLine() { return child_.ReadLine(std::chrono::seconds(10)); }

  void Signal(int s) { child_.Signal(s); }

  // The exit status once the process has ended within 10 s, else -1.
  int WaitExit() { return child_.WaitExit(std::chrono::seconds(10)).value_or(-1); }

 private:
  pwtest::ChildProcess child_;
};

uint16_t PortOf(const std::string& line) {
  // "USBIP 127.0.0.1:PORT busid 1-1\n"
  const auto colon = line.find(':');
  const auto space = line.find(' ', colon);
  if (line.rfind("USBIP 127.0.0.1:", 0) != 0 || space == std::string::npos) return 0;
  return static_cast<uint16_t>(std::stoi(line.substr(colon + 1, space - colon - 1)));
}

bool WaitForDeviceCount(uint16_t port, uint32_t count) {
  for (int i = 0; i < 500; ++i) {
    if (DeviceCount(RequestDevlist(port)) == count) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST(UsbipProgram, HelpListsEveryOptionAndBadOptionsAreRefused) {
  SimProcess help({"--help"});
  std::string text;
  for (std::string line; !(line = help.FirstLine()).empty();) text += line;
  EXPECT_EQ(help.WaitExit(), 0);
  for (const char* option : {"--listen",
                             "--port",
                             "--busid",
                             "--vid",
                             "--pid",
                             "--bcd-device",
                             "--max-packet",
                             "--config",
                             "--no-strings",
                             "--manufacturer",
                             "--product",
                             "--serial",
                             "--reboot-delay-ms",
                             "--reboot-after-ms",
                             "--no-reboot-frame",
                             "--appear-after-ms",
                             "--mode",
                             "--refuse-opening",
                             "--silent-after",
                             "--reboot-after-frames",
                             "--echo",
                             "--script",
                             "--rule",
                             "SIGUSR1",
                             "zero-length",
                             "endpoints-33"})
    EXPECT_NE(text.find(option), std::string::npos) << option;

  for (std::vector<std::string> bad :
       {std::vector<std::string>{"--max-packet", "128"},
        {"--vid", "12345"},
        {"--config", "round"},
        {"--rule", "write 01 => shout"},
        {"--script", "/nonexistent/script"},
        {"--port"},
        {"--frobnicate"},
        {"--block-size", "4"},  // a session option without --mode
        {"--mode", "upload"},   // no images
        {"--mode", "download", "--file", "f", "--block-size", "65536"}}) {
    SimProcess sim(bad);
    EXPECT_EQ(sim.WaitExit(), 2) << bad[0];
  }
}

TEST(UsbipProgram, ServesOnAFreePortRebootsOnSigusr1AndStopsOnSigterm) {
  char trace_path[] = "/tmp/penwick-sim-trace-XXXXXX";
  const int trace_fd = mkstemp(trace_path);
  ASSERT_GE(trace_fd, 0);
  close(trace_fd);
  SimProcess sim({"--port", "0", "--vid", "0xABCD", "--bcd-device", "0200", "--reboot-delay-ms",
                  "1000", "--rule", "write 01 => read 02 03", "--trace", trace_path});
  const std::string line = sim.FirstLine();
  const uint16_t port = PortOf(line);
  ASSERT_NE(port, 0) << line;
  EXPECT_EQ(line.substr(line.find(' ', 6)), " busid 1-1\n");

  const auto list = RequestDevlist(port);
  ASSERT_EQ(DeviceCount(list), 1u);
  EXPECT_EQ(list[0x138], 0xAB);
  EXPECT_EQ(list[0x13C], 0x02);  // bcdDevice 0x0200

  Client c;
  ASSERT_TRUE(c.Import(port));
  c.Submit(0, 1, 1, {0x01});
  ASSERT_TRUE(c.Receive());
  c.Submit(1, 2, 512);
  auto answer = c.Receive();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->data, (std::vector<uint8_t>{0x02, 0x03}));

  sim.Signal(SIGUSR1);
  EXPECT_TRUE(c.WaitClosed());
  EXPECT_EQ(DeviceCount(RequestDevlist(port)), 0u);
  EXPECT_TRUE(WaitForDeviceCount(port, 1));

  sim.Signal(SIGTERM);
  EXPECT_EQ(sim.WaitExit(), 0);

  std::ifstream file(trace_path);
  std::stringstream trace;
  trace << file.rdbuf();
  unlink(trace_path);
  for (const char* event : {" import\n", " out seq=1 length=1 data=01\n", " in seq=2 length=512\n",
                            " reboot\n", " back\n"})
    EXPECT_NE(trace.str().find(event), std::string::npos) << event << " in\n" << trace.str();
}

TEST(UsbipProgram, StartsOffTheBusWhenAskedAndArrivesLater) {
  SimProcess sim({"--port", "0", "--appear-after-ms", "3000"});
  const uint16_t port = PortOf(sim.FirstLine());
  ASSERT_NE(port, 0);
  EXPECT_EQ(DeviceCount(RequestDevlist(port)), 0u);
  EXPECT_TRUE(WaitForDeviceCount(port, 1));
  sim.Signal(SIGTERM);
  EXPECT_EQ(sim.WaitExit(), 0);
}

}  // namespace
}  // namespace sim::usbip
