// The pseudo-terminal pair: creating it, bounded reads and writes on the master, hang-up.
#include "pty.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 1000000));
}

}  // namespace

Pty::~Pty() {
  HangUp();
}

void Pty::HangUp() {
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
  slave_ = master_ = -1;
}

bool Pty::Create(std::string* error) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    *error = std::string("pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  char name[128];
  if (ptsname_r(master_, name, sizeof name) != 0) {
    *error = std::string("ptsname: ") + std::strerror(errno);
    return false;
  }
  slavePath_ = name;
  slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) {
    *error = slavePath_ + ": " + std::strerror(errno);
    return false;
  }
  termios tio{};
  if (tcgetattr(slave_, &tio) == 0) {
    cfmakeraw(&tio);
    tcsetattr(slave_, TCSANOW, &tio);
  }
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  return true;
}

bool Pty::Write(const uint8_t* data, size_t size, std::chrono::milliseconds timeout) {
  if (master_ < 0) return false;
  const auto deadline = Clock::now() + timeout;
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(master_, data + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return false;
    pollfd p{master_, POLLOUT, 0};
    const int ms = MsLeft(deadline);
    if (ms == 0 || (poll(&p, 1, ms) < 0 && errno != EINTR)) return false;
  }
  return true;
}

long Pty::Read(uint8_t* buffer, size_t max, std::chrono::milliseconds timeout) {
  if (master_ < 0) return -1;
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    ssize_t n = read(master_, buffer, max);
    if (n > 0) return static_cast<long>(n);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || (n < 0 && errno != EAGAIN)) return -1;
    const int ms = MsLeft(deadline);
    if (ms == 0) return 0;
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, ms) < 0 && errno != EINTR) return -1;
  }
}

}  // namespace sim
