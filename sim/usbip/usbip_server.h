// The USB/IP server exporting one emulated device: a listening socket, one thread per client
// connection and a ticker thread that brings a rebooted device back.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "emulated_device.h"

namespace sim::usbip {

class SocketStream;

class UsbipServer {
 public:
  explicit UsbipServer(EmulatedDevice& device) : device_(device) {}
  ~UsbipServer() { Stop(); }
  UsbipServer(const UsbipServer&) = delete;
  UsbipServer& operator=(const UsbipServer&) = delete;

  // Listens on host:port (port 0: a free port) and starts serving. False with *error set when
  // the address cannot be bound.
  bool Start(const std::string& host, uint16_t port, std::string* error);
  uint16_t port() const { return port_; }

  // Closes the listening socket and every connection and joins all threads. Idempotent.
  void Stop();

 private:
  struct Client {
    std::shared_ptr<SocketStream> stream;
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };

  void AcceptLoop();
  void TickLoop();
  void ReapFinishedLocked();

  EmulatedDevice& device_;
  int listenFd_ = -1;
  uint16_t port_ = 0;
  std::thread acceptThread_;
  std::thread tickThread_;

  std::mutex mu_;
  std::condition_variable stopCv_;
  bool stopping_ = false;
  std::list<Client> clients_;
};

}  // namespace sim::usbip
