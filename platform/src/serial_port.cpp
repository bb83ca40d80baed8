// Serial ports on termios. The descriptor lives in a Device shared by every operation in
// flight: Close only marks it closed, lets what was written leave, gives up the exclusive claim
// and wakes the waiters, and the descriptor is closed when the last operation holding the
// Device returns. So no thread ever uses a closed or reused descriptor, and Close never waits
// for another thread.
#include "penwick/serial_port.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "serial_port_name.hpp"

namespace pw {

namespace {

using Clock = std::chrono::steady_clock;

std::string Errno(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

bool SpeedFor(uint32_t baud, speed_t* speed) {
  struct Rate {
    uint32_t baud;
    speed_t speed;
  };
  static constexpr Rate kRates[] = {
      {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
      {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
      {230400, B230400}, {460800, B460800}, {921600, B921600},
  };
  for (const Rate& r : kRates) {
    if (r.baud == baud) {
      *speed = r.speed;
      return true;
    }
  }
  return false;
}

// Raw 8N1 without flow control, echo or translation, whatever the port was left in.
bool SetRaw(int fd, speed_t speed, std::string* why) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) {
    *why = Errno("not a serial port");
    return false;
  }
  cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0 ||
      tcsetattr(fd, TCSANOW, &tio) != 0) {
    *why = Errno("line settings refused");
    return false;
  }
  return true;
}

Clock::time_point DeadlineAfter(std::chrono::milliseconds timeout) {
  constexpr std::chrono::milliseconds kLongest = std::chrono::hours(24 * 365);
  if (timeout < std::chrono::milliseconds(0)) timeout = std::chrono::milliseconds(0);
  return Clock::now() + (timeout > kLongest ? kLongest : timeout);
}

// Rounded up: a poll that returned a fraction early must not turn into polls of 0 ms that spin
// until the deadline.
int RemainingMs(Clock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  if (left.count() <= 0) return 0;
  return left.count() > 1000000 ? 1000000 : static_cast<int>(left.count());
}

}  // namespace

struct SerialPort::Device {
  int fd = -1;
  int wake = -1;  // eventfd, readable once Close was called
  uint32_t baud = 0;
  std::atomic<bool> closed{false};

  ~Device() {
    if (fd >= 0) ::close(fd);
    if (wake >= 0) ::close(wake);
  }

  // Waits for `events` on the port or for Close. 1: ready, 0: time-out, -1: closed,
  // -2: the device failed (hang-up, error).
  int Poll(short events, Clock::time_point deadline) {
    for (;;) {
      if (closed.load()) return -1;
      pollfd fds[2] = {{fd, events, 0}, {wake, POLLIN, 0}};
      int n = ::poll(fds, 2, RemainingMs(deadline));
      if (n < 0) {
        if (errno == EINTR) continue;
        return -2;
      }
      if (closed.load() || fds[1].revents != 0) return -1;
      if (fds[0].revents & events) return 1;
      if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return -2;
      if (n == 0 && Clock::now() >= deadline) return 0;
    }
  }

  bool HungUp() {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
  }

  // Waits until the bytes written have left the port, at most about twice their time on the
  // line (plus slack); false when some are still queued then.
  bool Drain() {
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) != 0) return false;
    if (queued <= 0) return true;
    const auto onLine = std::chrono::microseconds(int64_t{queued} * 10 * 1000000 / baud);
    const auto deadline =
        Clock::now() + std::min<Clock::duration>(kLongestDrain, kDrainSlack + 2 * onLine);
    while (Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (::ioctl(fd, TIOCOUTQ, &queued) != 0) return false;
      if (queued <= 0) return true;
    }
    return false;
  }

  static constexpr std::chrono::milliseconds kDrainSlack{100};
  static constexpr std::chrono::milliseconds kLongestDrain{2000};
};

std::string ResolveSerialPortName(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  const auto n = ComPortNumber(name);
  if (!n) return name;
  if (auto device = ComPortFromEnvironment(*n)) return *device;
  if (*n == 0) return name;
  return "/dev/ttyS" + std::to_string(*n - 1);
}

SerialPort::SerialPort() = default;

SerialPort::~SerialPort() {
  Close();
}

std::shared_ptr<SerialPort::Device> SerialPort::Current() const {
  auto device = std::atomic_load(&device_);
  if (device && device->closed.load()) return nullptr;
  return device;
}

bool SerialPort::Open(const std::string& name, uint32_t baud, std::string* error) {
  std::string why;
  auto fail = [&](std::string reason) {
    if (error) *error = std::move(reason);
    return false;
  };
  if (Current()) return fail("port already open");
  speed_t speed{};
  if (!SpeedFor(baud, &speed)) return fail("unsupported speed " + std::to_string(baud));
  const std::string path = ResolveSerialPortName(name);

  auto device = std::make_shared<Device>();
  device->baud = baud;
  device->fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (device->fd < 0) return fail(Errno(path));
  // Exclusive use: TIOCEXCL refuses further opens of the tty (except by a privileged
  // process), the lock refuses any other process or port object that asks for it too.
  if (::flock(device->fd, LOCK_EX | LOCK_NB) != 0) return fail(Errno(path + " is in use"));
  if (!SetRaw(device->fd, speed, &why)) return fail(path + ": " + why);
  if (::ioctl(device->fd, TIOCEXCL) != 0) return fail(Errno(path + ": exclusive mode"));
  ::tcflush(device->fd, TCIOFLUSH);
  device->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (device->wake < 0) {
    ::ioctl(device->fd, TIOCNXCL);
    return fail(Errno("eventfd"));
  }
  std::atomic_store(&device_, device);
  return true;
}

void SerialPort::Close() {
  auto device = std::atomic_exchange(&device_, std::shared_ptr<Device>());
  if (!device || device->closed.exchange(true)) return;
  // What was written (a last frame) leaves whole: discarding it would cut a frame the caller
  // was told had been sent. Only a line that does not drain in time loses its output (closing
  // a real port would otherwise wait for it). What came in is discarded.
  ::tcflush(device->fd, device->Drain() ? TCIFLUSH : TCIOFLUSH);
  // Give up the claim now, so the device opens again at once even while an operation in
  // flight still holds the descriptor.
  ::ioctl(device->fd, TIOCNXCL);
  ::flock(device->fd, LOCK_UN);
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(device->wake, &one, sizeof one);
}

bool SerialPort::IsOpen() const {
  return Current() != nullptr;
}

void SerialPort::Purge() {
  if (auto device = Current()) ::tcflush(device->fd, TCIOFLUSH);
}

long SerialPort::Read(uint8_t* buffer, size_t max) {
  auto device = Current();
  if (!device) return -1;
  if (max == 0) return 0;
  for (;;) {
    ssize_t n = ::read(device->fd, buffer, max);
    if (n > 0) return static_cast<long>(n);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return -1;
    // Nothing waiting; a hung-up line also reads as nothing, so ask the device.
    return device->HungUp() ? -1 : 0;
  }
}

long SerialPort::Write(const uint8_t* data, size_t length, std::chrono::milliseconds timeout) {
  auto device = Current();
  if (!device) return -1;
  const auto deadline = DeadlineAfter(timeout);
  size_t done = 0;
  while (done < length) {
    if (device->closed.load()) return -1;
    ssize_t n = ::write(device->fd, data + done, length - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return -1;
    if (device->Poll(POLLOUT, deadline) != 1) return -1;
  }
  return static_cast<long>(done);
}

SerialPort::WaitResult SerialPort::WaitForData(std::chrono::milliseconds timeout) {
  auto device = Current();
  if (!device) return WaitResult::Closed;
  switch (device->Poll(POLLIN, DeadlineAfter(timeout))) {
    case 1:
      return WaitResult::Data;
    case 0:
      return WaitResult::Timeout;
    case -1:
      return WaitResult::Closed;
    default:
      return WaitResult::Error;
  }
}

}  // namespace pw
