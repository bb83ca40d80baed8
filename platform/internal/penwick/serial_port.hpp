// Serial ports on termios. A port is opened for exclusive use, raw 8N1 at the requested speed
// with no flow control, echo or character translation, whatever state it was left in. Reads
// never block; writes complete or fail; WaitForData sleeps until bytes arrive, a time-out
// passes or Close is called from any thread. After Close no operation touches the old
// descriptor (it is released when the last operation in flight has returned), and the same
// device can be opened again at once.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "penwick/platform_api.h"

namespace pw {

// A name containing '/' is a device path. "COMn" (any case) names the device in the
// environment variable PENWICK_COMn when it is set, else /dev/ttyS<n-1>. Other names are
// returned unchanged.
PW_PLATFORM_API std::string ResolveSerialPortName(const std::string& name);

// A serial port that the system itself names "COMn": n and the device behind the name.
struct SystemSerialPort {
  unsigned long number = 0;
  std::string device;
};
// The system's COMn names in number order: Windows' own. None on Linux, where COMn is a name of
// this program's (ResolveSerialPortName).
PW_PLATFORM_API std::vector<SystemSerialPort> SystemSerialPorts();

class PW_PLATFORM_API SerialPort {
 public:
  enum class WaitResult { Data, Timeout, Closed, Error };

  SerialPort();
  ~SerialPort();  // closes
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Resolves the name, opens it exclusively, sets raw 8N1 at `baud` and purges both
  // directions. On failure returns false and, when `error` is given, says why.
  bool Open(const std::string& name, uint32_t baud, std::string* error = nullptr);
  // Idempotent; safe from any thread; wakes every WaitForData and fails later operations.
  // Lets the bytes already written leave the port (bounded by their time on the line, at most
  // about 2 s), then discards what came in; waits for no other thread.
  void Close();
  bool IsOpen() const;

  // Discards what is waiting in both directions.
  void Purge();
  // What is waiting now, up to `max` bytes: the count (0 when nothing waits), or -1 when the
  // port is closed or the device failed (an adapter unplugged).
  long Read(uint8_t* buffer, size_t max);
  // Writes every byte (waiting for the line as needed, at most `timeout`): the count, or -1
  // when the port is closed, the device failed or the time-out passed.
  long Write(const uint8_t* data, size_t length,
             std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Waits until bytes are waiting, the time-out passes, Close is called or the device fails.
  WaitResult WaitForData(std::chrono::milliseconds timeout);

 private:
  struct Device;
  std::shared_ptr<Device> Current() const;

  mutable std::shared_ptr<Device> device_;  // accessed with std::atomic_load/store
};

}  // namespace pw
