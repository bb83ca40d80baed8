// TCP for the USB/IP client on Winsock: non-blocking connect bounded by WSAPoll, then blocking
// sockets whose reads and writes are bounded by WSAPoll where the caller asks for it. Socket
// values travel as int: Windows keeps handle values within 32 bits.
#include "tcp.hpp"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <string>

namespace pw::usb {

namespace {

// Winsock is started once for the process and left running (sockets may be closed by exit
// handlers).
bool StartWinsock() {
  static const bool started = [] {
    WSADATA data{};
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

SOCKET AsSocket(int fd) {
  return static_cast<SOCKET>(fd);
}

int Clamp(std::chrono::milliseconds timeout) {
  if (timeout.count() < 0) return 0;
  return timeout.count() > (1 << 30) ? (1 << 30) : static_cast<int>(timeout.count());
}

bool WaitFor(int fd, short events, std::chrono::milliseconds timeout) {
  WSAPOLLFD p{AsSocket(fd), events, 0};
  const int n = ::WSAPoll(&p, 1, Clamp(timeout));
  return n > 0;
}

void SetBlocking(SOCKET s, bool blocking) {
  u_long nonBlocking = blocking ? 0 : 1;
  ::ioctlsocket(s, FIONBIO, &nonBlocking);
}

// Connects to one address; -1 with the Winsock error in `error` (WSAETIMEDOUT when no answer
// came).
int ConnectOne(const addrinfo* ai, std::chrono::milliseconds timeout, int* error) {
  const SOCKET s = ::socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
  if (s == INVALID_SOCKET) {
    *error = ::WSAGetLastError();
    return -1;
  }
  SetBlocking(s, false);
  int rc = ::connect(s, ai->ai_addr, static_cast<int>(ai->ai_addrlen));
  *error = rc == 0 ? 0 : ::WSAGetLastError();
  if (rc != 0 && *error == WSAEWOULDBLOCK) {
    *error = WSAETIMEDOUT;
    if (WaitFor(static_cast<int>(s), POLLWRNORM, timeout)) {
      int size = sizeof *error;
      ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(error), &size);
      rc = *error == 0 ? 0 : -1;
    }
  }
  if (rc != 0) {
    ::closesocket(s);
    return -1;
  }
  SetBlocking(s, true);
  const BOOL one = TRUE;
  ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
  return static_cast<int>(s);
}

}  // namespace

int TcpConnect(const std::string& host, uint16_t port, std::chrono::milliseconds timeout,
               std::string* problem) {
  if (!StartWinsock()) {
    if (problem) *problem = "Winsock does not start";
    return -1;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const std::string service = std::to_string(port);
  if (const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list); rc != 0) {
    if (problem)
      *problem = "the host name " + host + " does not resolve (" + gai_strerrorA(rc) + ")";
    return -1;
  }
  int fd = -1;
  int error = 0;
  for (const addrinfo* ai = list; ai && fd < 0; ai = ai->ai_next)
    fd = ConnectOne(ai, timeout, &error);
  ::freeaddrinfo(list);
  if (fd < 0 && problem) {
    *problem = error == WSAECONNREFUSED ? std::string("the connection was refused")
               : error == WSAETIMEDOUT  ? std::string("no answer to the connection")
                                        : "cannot connect: Winsock error " + std::to_string(error);
  }
  return fd;
}

void TcpShutdown(int fd) {
  ::shutdown(AsSocket(fd), SD_BOTH);
}

void TcpClose(int fd) {
  ::closesocket(AsSocket(fd));
}

bool TcpWriteAll(int fd, std::span<const uint8_t> bytes, std::chrono::milliseconds timeout) {
  size_t done = 0;
  while (done < bytes.size()) {
    // Wait for room first: a blocking send that the peer never drains would not time out.
    if (!WaitFor(fd, POLLWRNORM, timeout)) return false;
    const size_t chunk = std::min<size_t>(bytes.size() - done, 1 << 16);
    const int n = ::send(AsSocket(fd), reinterpret_cast<const char*>(bytes.data() + done),
                         static_cast<int>(chunk), 0);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool SocketReader::Read(std::span<uint8_t> out) {
  size_t done = 0;
  while (done < out.size()) {
    if (bounded_) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline_ - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !WaitFor(fd_, POLLRDNORM, left)) return false;
    }
    const size_t chunk = std::min<size_t>(out.size() - done, 1 << 16);
    const int n = ::recv(AsSocket(fd_), reinterpret_cast<char*>(out.data() + done),
                         static_cast<int>(chunk), 0);
    if (n <= 0) return false;  // end of stream, reset or shutdown
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace pw::usb
