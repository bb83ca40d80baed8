// The serial port over real pseudo-terminals: the test holds the master side and plays the
// line; the port opens the slave like any serial device.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "blocked_thread.h"
#include "penwick/serial_port.hpp"

namespace {

using namespace std::chrono_literals;
using pw::SerialPort;

struct Pty {
  int master = -1;
  int slave = -1;  // kept open by the test, so the line never hangs up on its own
  std::string path;

  Pty() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
    path = ptsname(master);
    slave = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  }
  ~Pty() {
    if (slave >= 0) close(slave);
    if (master >= 0) close(master);
  }
  bool Ok() const { return master >= 0 && slave >= 0; }

  // Reads what the port wrote, waiting up to 5 s for `count` bytes.
  std::vector<uint8_t> ReadMaster(size_t count) {
    std::vector<uint8_t> out;
    auto deadline = std::chrono::steady_clock::now() + 5s;
    while (out.size() < count && std::chrono::steady_clock::now() < deadline) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      uint8_t buf[512];
      ssize_t n = read(master, buf, sizeof buf);
      if (n <= 0) break;
      out.insert(out.end(), buf, buf + n);
    }
    return out;
  }
  // Whatever reaches the master within `wait`.
  size_t PendingOnMaster(std::chrono::milliseconds wait) {
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(wait.count())) <= 0) return 0;
    uint8_t buf[512];
    ssize_t n = read(master, buf, sizeof buf);
    return n > 0 ? static_cast<size_t>(n) : 0;
  }
};

// Reads through the port until `count` bytes came, waiting up to 5 s.
std::vector<uint8_t> ReadPort(SerialPort& port, size_t count) {
  std::vector<uint8_t> out;
  auto deadline = std::chrono::steady_clock::now() + 5s;
  while (out.size() < count && std::chrono::steady_clock::now() < deadline) {
    if (port.WaitForData(100ms) != SerialPort::WaitResult::Data) continue;
    uint8_t buf[512];
    long n = port.Read(buf, sizeof buf);
    if (n < 0) break;
    out.insert(out.end(), buf, buf + n);
  }
  return out;
}

TEST(SerialPortNames, ResolvesComNamesThroughTheEnvironment) {
  unsetenv("PENWICK_COM7");
  EXPECT_EQ(pw::ResolveSerialPortName("COM7"), "/dev/ttyS6");
  EXPECT_EQ(pw::ResolveSerialPortName("com1"), "/dev/ttyS0");
  setenv("PENWICK_COM7", "/dev/pts/99", 1);
  EXPECT_EQ(pw::ResolveSerialPortName("COM7"), "/dev/pts/99");
  EXPECT_EQ(pw::ResolveSerialPortName("cOm7"), "/dev/pts/99");
  unsetenv("PENWICK_COM7");
  EXPECT_EQ(pw::ResolveSerialPortName("/dev/ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(pw::ResolveSerialPortName("./COM3"), "./COM3");
  EXPECT_EQ(pw::ResolveSerialPortName("COM"), "COM");
  EXPECT_EQ(pw::ResolveSerialPortName("COM3x"), "COM3x");
  EXPECT_EQ(pw::ResolveSerialPortName("LPT1"), "LPT1");
  EXPECT_EQ(pw::ResolveSerialPortName("COM0"), "COM0");
}

TEST(SerialPort, OpensExclusivelyAndReopensAtOnce) {
  Pty pty;
  ASSERT_TRUE(pty.Ok());
  setenv("PENWICK_COM5", pty.path.c_str(), 1);
  SerialPort a, b;
  std::string error;
  ASSERT_TRUE(a.Open("COM5", 115200, &error)) << error;
  EXPECT_TRUE(a.IsOpen());
  EXPECT_FALSE(a.Open("COM5", 115200));  // already open
  EXPECT_FALSE(b.Open(pty.path, 115200, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(b.IsOpen());

  a.Close();
  a.Close();  // idempotent
  EXPECT_FALSE(a.IsOpen());
  ASSERT_TRUE(b.Open(pty.path, 115200, &error)) << error;
  b.Close();
  ASSERT_TRUE(a.Open("COM5", 115200, &error)) << error;
  unsetenv("PENWICK_COM5");
}

TEST(SerialPort, RefusesMissingDevicesNonTerminalsAndUnknownSpeeds) {
  SerialPort port;
  std::string error;
  EXPECT_FALSE(port.Open("/nonexistent/tty", 115200, &error));
  EXPECT_NE(error.find("/nonexistent/tty"), std::string::npos);
  EXPECT_FALSE(port.Open("/dev/null", 115200, &error));
  Pty pty;
  ASSERT_TRUE(pty.Ok());
  EXPECT_FALSE(port.Open(pty.path, 12345, &error));
  EXPECT_TRUE(port.Open(pty.path, 9600, &error)) << error;
}

TEST(SerialPort, RawEightBitsBothWaysAfterCookedModeWithEcho) {
  Pty pty;
  ASSERT_TRUE(pty.Ok());
  // Leave the line the way a terminal program would: canonical, echo, CR/LF translation,
  // XON/XOFF, parity, 7 bits, hardware flow control.
  termios cooked{};
  ASSERT_EQ(tcgetattr(pty.slave, &cooked), 0);
  cooked.c_lflag |= ICANON | ECHO | ECHOE | ISIG | IEXTEN;
  cooked.c_iflag |= ICRNL | IXON | IXOFF | ISTRIP | INLCR;
  cooked.c_oflag |= OPOST | ONLCR;
  cooked.c_cflag = (cooked.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | CS7 | PARENB | CRTSCTS;
  ASSERT_EQ(tcsetattr(pty.slave, TCSANOW, &cooked), 0);

  SerialPort port;
  std::string error;
  ASSERT_TRUE(port.Open(pty.path, 115200, &error)) << error;

  termios now{};
  ASSERT_EQ(tcgetattr(pty.slave, &now), 0);
  EXPECT_EQ(now.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(now.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(now.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(now.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | ISTRIP), 0u);
  EXPECT_EQ(now.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(cfgetospeed(&now), static_cast<speed_t>(B115200));
  EXPECT_EQ(cfgetispeed(&now), static_cast<speed_t>(B115200));

  const std::vector<uint8_t> bytes = {0x00, 0x11, 0x13, 0x0D, 0x0A, 0xFF, 0x03,
                                      0x04, 0x1A, 0x7F, 0x0D, 0x80, 0x48, 0x00};
  ASSERT_EQ(write(pty.master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  EXPECT_EQ(ReadPort(port, bytes.size()), bytes);
  EXPECT_EQ(pty.PendingOnMaster(100ms), 0u) << "the line echoed";

  ASSERT_EQ(port.Write(bytes.data(), bytes.size()), static_cast<long>(bytes.size()));
  EXPECT_EQ(pty.ReadMaster(bytes.size()), bytes);
}

TEST(SerialPort, WaitsReadsPurgesAndClosesOnlyOnceTheOutputLeft) {
  Pty pty;
  ASSERT_TRUE(pty.Ok());
  SerialPort port;
  ASSERT_TRUE(port.Open(pty.path, 115200));
  uint8_t buf[16];
  EXPECT_EQ(port.Read(buf, sizeof buf), 0);
  EXPECT_EQ(port.WaitForData(50ms), SerialPort::WaitResult::Timeout);

  ASSERT_EQ(write(pty.master, "HaVo", 4), 4);
  EXPECT_EQ(port.WaitForData(5s), SerialPort::WaitResult::Data);
  EXPECT_EQ(ReadPort(port, 4), (std::vector<uint8_t>{'H', 'a', 'V', 'o'}));

  ASSERT_EQ(write(pty.master, "stale", 5), 5);
  ASSERT_EQ(port.WaitForData(5s), SerialPort::WaitResult::Data);
  port.Purge();
  EXPECT_EQ(port.Read(buf, sizeof buf), 0);

  // A close right after a write lets the bytes leave whole, every time; what came in is
  // discarded and never reaches the next opening.
  const std::vector<uint8_t> frame = {'H', 'a', 'V', 'o', 0x00, 0x0B, 0x00, 0x0B};
  for (int round = 0; round < 20; ++round) {
    ASSERT_EQ(write(pty.master, "in", 2), 2);
    ASSERT_EQ(port.Write(frame.data(), frame.size()), static_cast<long>(frame.size()));
    port.Close();
    ASSERT_EQ(pty.ReadMaster(frame.size()), frame) << round;
    ASSERT_TRUE(port.Open(pty.path, 115200));
  }
  EXPECT_EQ(port.WaitForData(50ms), SerialPort::WaitResult::Timeout);
}

TEST(SerialPort, WriteGivesUpWhenTheLineNeverDrains) {
  Pty pty;
  ASSERT_TRUE(pty.Ok());
  SerialPort port;
  ASSERT_TRUE(port.Open(pty.path, 115200));
  std::vector<uint8_t> lots(4 << 20, 0x55);  // far more than the line buffers; nobody reads
  EXPECT_EQ(port.Write(lots.data(), lots.size(), 200ms), -1);
}

TEST(SerialPort, CloseFromAnotherThreadWakesTheWaiterPromptly) {
  Pty pty;
  ASSERT_TRUE(pty.Ok());
  SerialPort port;
  ASSERT_TRUE(port.Open(pty.path, 115200));
  std::atomic<int> result{-1};
  std::atomic<int> tid{0};
  std::chrono::steady_clock::time_point returned;
  std::thread waiter([&] {
    tid = pwtest::CurrentThreadId();
    result = static_cast<int>(port.WaitForData(60s));
    returned = std::chrono::steady_clock::now();
  });
  while (tid.load() == 0) std::this_thread::yield();
  EXPECT_TRUE(pwtest::WaitUntilBlocked(tid.load()));
  const auto closed = std::chrono::steady_clock::now();
  port.Close();
  waiter.join();
  EXPECT_EQ(result.load(), static_cast<int>(SerialPort::WaitResult::Closed));
  EXPECT_LT(returned - closed, 20s);  // the 60 s wait ends with the close

  uint8_t byte = 0x42;
  EXPECT_EQ(port.Read(&byte, 1), -1);
  EXPECT_EQ(port.Write(&byte, 1), -1);
  EXPECT_EQ(port.WaitForData(10ms), SerialPort::WaitResult::Closed);
  // Nothing the closed port did reached the line.
  EXPECT_EQ(pty.PendingOnMaster(50ms), 0u);
}

TEST(SerialPort, OtherEndClosingIsAnErrorNotData) {
  Pty pty;
  ASSERT_TRUE(pty.Ok());
  SerialPort port;
  ASSERT_TRUE(port.Open(pty.path, 115200));
  close(pty.master);
  pty.master = -1;
  // A hung-up line must be reported at once and keep being reported, so a watch loop ends.
  for (int i = 0; i < 3; ++i) {
    SerialPort::WaitResult r = port.WaitForData(30s);
    if (r == SerialPort::WaitResult::Data) {
      uint8_t buf[8];
      EXPECT_EQ(port.Read(buf, sizeof buf), -1);
    } else {
      EXPECT_EQ(r, SerialPort::WaitResult::Error);
    }
  }
  uint8_t byte = 1;
  EXPECT_EQ(port.Write(&byte, 1, 1s), -1);
}

// Operations racing with Close and reopen: every one ends with a result, none touches a
// descriptor that was closed (AddressSanitizer/ThreadSanitizer watch the rest).
TEST(SerialPort, OperationsRaceWithCloseAndReopen) {
  Pty pty;
  ASSERT_TRUE(pty.Ok());
  SerialPort port;
  ASSERT_TRUE(port.Open(pty.path, 115200));
  std::atomic<bool> stop{false};
  std::atomic<long> received{0};
  std::thread reader([&] {
    uint8_t buf[64];
    while (!stop.load()) {
      if (port.WaitForData(20ms) == SerialPort::WaitResult::Data) {
        long n = port.Read(buf, sizeof buf);
        if (n > 0) received += n;
      } else {
        std::this_thread::sleep_for(1ms);
      }
    }
  });
  std::thread writer([&] {
    const uint8_t msg[4] = {1, 2, 3, 4};
    while (!stop.load()) {
      port.Write(msg, sizeof msg, 50ms);
      std::this_thread::sleep_for(1ms);
    }
  });
  int reopened = 0;
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(write(pty.master, "xy", 2), 2);
    port.Close();
    if (port.Open(pty.path, 115200)) ++reopened;
    pty.PendingOnMaster(0ms);
  }
  // The port still works after all that.
  const long before = received.load();
  ASSERT_EQ(write(pty.master, "end", 3), 3);
  auto deadline = std::chrono::steady_clock::now() + 10s;
  while (received.load() < before + 3 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(5ms);
  stop = true;
  reader.join();
  writer.join();
  EXPECT_EQ(reopened, 50);
  EXPECT_GE(received.load(), before + 3);
}

}  // namespace
