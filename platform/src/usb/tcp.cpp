// TCP for the USB/IP client: non-blocking connect bounded by poll, then blocking sockets whose
// reads and writes are bounded by poll where the caller asks for it.
#include "tcp.hpp"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace pw::usb {

namespace {

bool WaitFor(int fd, short events, std::chrono::milliseconds timeout) {
  pollfd p{fd, events, 0};
  while (true) {
    const int n = ::poll(&p, 1, static_cast<int>(timeout.count()));
    if (n > 0) return true;
    if (n == 0) return false;
    if (errno != EINTR) return false;
  }
}

// Connects to one address; -1 with the error in `error` (ETIMEDOUT when no answer came).
int ConnectOne(const addrinfo* ai, std::chrono::milliseconds timeout, int* error) {
  const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
  if (fd < 0) {
    *error = errno;
    return -1;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  int rc = ::connect(fd, ai->ai_addr, ai->ai_addrlen);
  *error = rc == 0 ? 0 : errno;
  if (rc != 0 && errno == EINPROGRESS) {
    *error = ETIMEDOUT;
    if (WaitFor(fd, POLLOUT, timeout)) {
      socklen_t size = sizeof *error;
      ::getsockopt(fd, SOL_SOCKET, SO_ERROR, error, &size);
      rc = *error == 0 ? 0 : -1;
    }
  }
  if (rc != 0) {
    ::close(fd);
    return -1;
  }
  ::fcntl(fd, F_SETFL, flags);
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

}  // namespace

int TcpConnect(const std::string& host, uint16_t port, std::chrono::milliseconds timeout,
               std::string* problem) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const std::string service = std::to_string(port);
  if (const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list); rc != 0) {
    if (problem)
      *problem = "the host name " + host + " does not resolve (" + gai_strerror(rc) + ")";
    return -1;
  }
  int fd = -1;
  int error = 0;
  for (const addrinfo* ai = list; ai && fd < 0; ai = ai->ai_next)
    fd = ConnectOne(ai, timeout, &error);
  ::freeaddrinfo(list);
  if (fd < 0 && problem) {
    *problem = error == ECONNREFUSED ? std::string("the connection was refused")
               : error == ETIMEDOUT  ? std::string("no answer to the connection")
                                     : std::string("cannot connect: ") + std::strerror(error);
  }
  return fd;
}

void TcpShutdown(int fd) {
  ::shutdown(fd, SHUT_RDWR);
}

void TcpClose(int fd) {
  ::close(fd);
}

bool TcpWriteAll(int fd, std::span<const uint8_t> bytes, std::chrono::milliseconds timeout) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(fd, POLLOUT, timeout)) return false;
      continue;
    }
    return false;
  }
  return true;
}

bool SocketReader::Read(std::span<uint8_t> out) {
  size_t done = 0;
  while (done < out.size()) {
    if (bounded_) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline_ - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !WaitFor(fd_, POLLIN, left)) return false;
    }
    const ssize_t n = ::recv(fd_, out.data() + done, out.size() - done, 0);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return false;  // end of stream, reset or shutdown
  }
  return true;
}

}  // namespace pw::usb
