// The serial link: one opening of the port, with its receive queue and its watch thread.
// Every Dll_OpenSerialPort makes a new CSerialComm; the watch thread and the session workers
// hold it through shared pointers. So after Dll_CloseSerialPort a thread that is still
// finishing touches only its own, closed port and queue (its writes fail), never a port
// opened later, and the port can be opened again at once.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "byte_queue.h"
#include "penwick/serial_port.hpp"

namespace transfer {

class CSerialComm : public std::enable_shared_from_this<CSerialComm> {
 public:
  CSerialComm() = default;
  virtual ~CSerialComm();  // does not close the port: Close does
  CSerialComm(const CSerialComm&) = delete;
  CSerialComm& operator=(const CSerialComm&) = delete;

  // Opens the port raw 8N1 at `baud`, purges it and starts the watch thread. The object must
  // be owned by a std::shared_ptr. False when the port or the thread cannot be had.
  bool Open(const std::string& name, uint32_t baud);
  // Stops the watch thread (it leaves its wait and ends by itself), closes the port once the
  // frames already written have left it (bounded), discarding what came in, and wakes a
  // consumer sleeping on the queue. Waits for no thread. Idempotent.
  void Close();

  // The bytes written, 0 when the port is not open, -1 when the write failed.
  long Write(const uint8_t* data, size_t length);
  // The bytes read (up to `max`), 0 when nothing is waiting or the port failed.
  long Read(uint8_t* buffer, size_t max);
  // Sends one serial frame: `frame` starts at PSN (PSN, CMD, LEN, payload); the magic and the
  // SUM are added, and the frame goes out in one write. 0 when sent, -1 when the write failed.
  // Frames never interleave.
  int SendPacket(const uint8_t* frame);

  bool Running() const { return running_.load() != 0; }
  bool WatchThreadRunning() const { return watchRunning_.load(); }

  CByteQueue m_QueueRead;

 private:
  friend void ThreadWatchComm(std::shared_ptr<CSerialComm> comm);

  pw::SerialPort port_;
  std::atomic<int> running_{0};
  std::atomic<bool> watchRunning_{false};
  std::mutex sendMutex_;
};

// Moves received bytes from the port into the queue while the link runs. Ends by itself when
// the port is closed or fails (an adapter unplugged).
void ThreadWatchComm(std::shared_ptr<CSerialComm> comm);

// The library's one serial port: the link opened last, or null when the port is closed.
std::shared_ptr<CSerialComm> CurrentSerialLink();
// Opens a new link and makes it current; false when it cannot be opened.
bool OpenSerialLink(const std::string& name, uint32_t baud);
// Closes the current link (if any) and forgets it; waits for no thread.
void CloseSerialLink();

}  // namespace transfer
