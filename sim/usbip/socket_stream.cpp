// POSIX socket plumbing. Writes use MSG_NOSIGNAL, so a client that went away is an error
// result, never a SIGPIPE.
#include "socket_stream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim::usbip {
namespace {

bool MakeAddress(const std::string& host, uint16_t port, sockaddr_in* address) {
  std::memset(address, 0, sizeof *address);
  address->sin_family = AF_INET;
  address->sin_port = htons(port);
  const std::string name = host == "localhost" ? "127.0.0.1" : host;
  return inet_pton(AF_INET, name.c_str(), &address->sin_addr) == 1;
}

void SetNoDelay(int fd) {
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

}  // namespace

SocketStream::SocketStream(int fd) : fd_(fd) {
  SetNoDelay(fd_);
}

SocketStream::~SocketStream() {
  close(fd_);
}

bool SocketStream::ReadExact(std::span<uint8_t> out) {
  size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = recv(fd_, out.data() + done, out.size() - done, 0);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n == 0 || errno != EINTR) {
      return false;
    }
  }
  return true;
}

bool SocketStream::Write(std::span<const uint8_t> head, std::span<const uint8_t> tail) {
  iovec parts[2] = {{const_cast<uint8_t*>(head.data()), head.size()},
                    {const_cast<uint8_t*>(tail.data()), tail.size()}};
  int first = 0;
  while (first < 2) {
    msghdr message{};
    message.msg_iov = &parts[first];
    message.msg_iovlen = static_cast<size_t>(2 - first);
    const ssize_t n = sendmsg(fd_, &message, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    auto sent = static_cast<size_t>(n);
    while (first < 2 && sent >= parts[first].iov_len) {
      sent -= parts[first].iov_len;
      ++first;
    }
    if (first < 2) {
      parts[first].iov_base = static_cast<uint8_t*>(parts[first].iov_base) + sent;
      parts[first].iov_len -= sent;
    }
  }
  return true;
}

void SocketStream::Shutdown() {
  shutdown(fd_, SHUT_RDWR);
}

bool SocketStream::PeerClosed() {
  pollfd p{fd_, POLLRDHUP, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

int ListenTcp(const std::string& host, uint16_t port, uint16_t* boundPort, std::string* error) {
  sockaddr_in address;
  if (!MakeAddress(host, port, &address)) {
    *error = "not an IPv4 address: " + host;
    return -1;
  }
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = std::string("socket: ") + std::strerror(errno);
    return -1;
  }
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 16) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    *error = host + ":" + std::to_string(port) + ": " + std::strerror(errno);
    close(fd);
    return -1;
  }
  *boundPort = ntohs(address.sin_port);
  return fd;
}

int ConnectTcp(const std::string& host, uint16_t port) {
  sockaddr_in address;
  if (!MakeAddress(host, port, &address)) return -1;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  SetNoDelay(fd);
  return fd;
}

}  // namespace sim::usbip
