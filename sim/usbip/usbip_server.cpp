// Accepting clients and running their connections.
#include "usbip_server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "connection.h"
#include "socket_stream.h"

namespace sim::usbip {
namespace {

constexpr auto kTickPeriod = std::chrono::milliseconds(10);

}  // namespace

bool UsbipServer::Start(const std::string& host, uint16_t port, std::string* error) {
  listenFd_ = ListenTcp(host, port, &port_, error);
  if (listenFd_ < 0) return false;
  acceptThread_ = std::thread([this] { AcceptLoop(); });
  tickThread_ = std::thread([this] { TickLoop(); });
  return true;
}

void UsbipServer::Stop() {
  {
    std::lock_guard lock(mu_);
    if (stopping_ || listenFd_ < 0) return;
    stopping_ = true;
  }
  stopCv_.notify_all();
  shutdown(listenFd_, SHUT_RDWR);  // wakes accept()
  acceptThread_.join();
  tickThread_.join();
  close(listenFd_);
  std::list<Client> clients;
  {
    std::lock_guard lock(mu_);
    clients.swap(clients_);
  }
  for (Client& c : clients) c.stream->Shutdown();
  for (Client& c : clients) c.thread.join();
}

void UsbipServer::AcceptLoop() {
  while (true) {
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    std::lock_guard lock(mu_);
    if (stopping_) {
      if (fd >= 0) close(fd);
      return;
    }
    if (fd < 0) {
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
        std::this_thread::sleep_for(kTickPeriod);  // let connections end, then try again
      continue;
    }
    ReapFinishedLocked();
    auto stream = std::make_shared<SocketStream>(fd);
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([this, stream, done] {
      ServeConnection(*stream, device_);
      stream->Shutdown();  // the client sees the end now, not when the thread is reaped
      done->store(true);
    });
    clients_.push_back(Client{std::move(stream), std::move(thread), std::move(done)});
  }
}

void UsbipServer::ReapFinishedLocked() {
  for (auto it = clients_.begin(); it != clients_.end();) {
    if (it->done->load()) {
      it->thread.join();
      it = clients_.erase(it);
    } else {
      ++it;
    }
  }
}

void UsbipServer::TickLoop() {
  std::unique_lock lock(mu_);
  while (!stopping_) {
    stopCv_.wait_for(lock, kTickPeriod, [this] { return stopping_; });
    lock.unlock();
    device_.Tick(EmulatedDevice::Clock::now());
    lock.lock();
  }
}

}  // namespace sim::usbip
