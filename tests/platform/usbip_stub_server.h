// A small USB/IP server for the driver's client tests, on loopback with an ephemeral port:
// device lists, imports, control requests answered from given descriptors, bulk OUT recorded,
// bulk IN answered from a queue (or left pending), unlinks, and removals that drop the
// connection. Written from the protocol notes on its own, independent of the driver's client.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class UsbipStubServer {
 public:
  struct Device {
    std::string busId = "1-1";
    uint32_t busNum = 1;
    uint32_t devNum = 2;
    uint16_t bcdDevice = 0x0200;
    std::vector<uint8_t> deviceDescriptor;
    std::vector<uint8_t> configuration;
    std::map<uint8_t, std::vector<uint8_t>> strings;
  };
  // A receiver: endpoints 0x01 OUT and 0x82 IN of `packetSize`.
  static Device Receiver(std::string busId, uint16_t packetSize = 64);

  UsbipStubServer();
  ~UsbipStubServer();
  uint16_t port() const { return port_; }

  void AddDevice(Device device);
  // Off the list, and its connection (if imported) is dropped.
  void RemoveDevice(const std::string& busId);
  // Answers the oldest pending IN request of the device, or the next one that comes.
  void QueueRead(const std::string& busId, std::vector<uint8_t> data);
  // When set, an unlink of a pending IN is answered "too late": RET_SUBMIT with these bytes,
  // then RET_UNLINK with status 0.
  void AnswerUnlinksLate(const std::string& busId, std::vector<uint8_t> data);
  // When set, an unlink of a pending IN is answered RET_UNLINK 0 and the IN never gets its
  // RET_SUBMIT (a Linux server whose URB completed as it was being unlinked). Replaces
  // AnswerUnlinksLate.
  void AnswerUnlinksWithoutSubmit(const std::string& busId);

  // The device's connection takes one more PDU and then reads nothing more (a server stuck).
  void StopReading(const std::string& busId);
  // Device lists are sent one byte at a time, `perByte` apart (a trickling server).
  void TrickleDeviceLists(std::chrono::milliseconds perByte);
  // Control requests of the device get no answer (they stay pending until unlinked).
  void SilenceControl(const std::string& busId);
  // Writes raw bytes on the device's import connection (a misbehaving server).
  void SendRaw(const std::string& busId, std::vector<uint8_t> bytes);

  std::vector<std::vector<uint8_t>> Written(const std::string& busId) const;
  std::vector<uint32_t> ReadLengths(const std::string& busId) const;
  int Unlinks(const std::string& busId) const;
  int Imports(const std::string& busId) const;
  size_t PendingReads(const std::string& busId) const;

 private:
  struct Pending {
    uint32_t seq;
    uint32_t length;
  };
  struct State {
    Device device;
    bool listed = true;
    int connection = -1;  // fd of the import, -1 when not imported
    std::shared_ptr<std::mutex> writeMutex = std::make_shared<std::mutex>();
    std::deque<std::vector<uint8_t>> reads;
    std::deque<Pending> pending;
    std::vector<std::vector<uint8_t>> written;
    std::vector<uint32_t> readLengths;
    std::optional<std::vector<uint8_t>> lateAnswer;
    bool unlinkWithoutSubmit = false;
    bool stopReading = false;
    bool silentControl = false;
    int unlinks = 0;
    int imports = 0;
  };
  void AcceptLoop();
  void Serve(int fd);
  void ServeUrbs(int fd, const std::string& busId);

  int listen_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::map<std::string, State> devices_;
  std::chrono::milliseconds trickle_{0};
  std::vector<int> connections_;
  std::vector<std::thread> threads_;
  std::thread acceptor_;
};
