// Serial ports on the Win32 communications API: \\.\COMn opened for exclusive, overlapped use,
// raw 8N1, and a receive side built on timed overlapped reads. The watch thread's wait for data
// is an overlapped one-byte read bounded by our own time-out and woken by Close; the byte it
// brings in is kept and handed out first by the next Read. (Waiting with WaitCommEvent is not
// used: it does not work on every port driver, and the reads give the same bytes at the same
// times.) Modem-line calls are not needed and not made, so ports that refuse them work.
//
// As on every system, the handle lives in a Device shared by every operation in flight: Close
// marks it closed and wakes the waiters, and the handle is closed when the last operation
// holding the Device returns.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <optional>

#include "penwick/serial_port.hpp"
#include "serial_port_name.hpp"

namespace pw {

namespace {

using Clock = std::chrono::steady_clock;

std::string SystemError(const std::string& what) {
  const DWORD code = ::GetLastError();
  char text[256] = {};
  const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, text, sizeof text, nullptr);
  std::string reason(text, n);
  while (!reason.empty() &&
         (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.'))
    reason.pop_back();
  if (reason.empty()) reason = "error " + std::to_string(code);
  return what + ": " + reason;
}

DWORD RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  if (left.count() <= 0) return 0;
  return left.count() > 1000000 ? 1000000 : static_cast<DWORD>(left.count());
}

Clock::time_point DeadlineAfter(std::chrono::milliseconds timeout) {
  constexpr std::chrono::milliseconds kLongest = std::chrono::hours(24 * 365);
  if (timeout < std::chrono::milliseconds(0)) timeout = std::chrono::milliseconds(0);
  return Clock::now() + (timeout > kLongest ? kLongest : timeout);
}

// An event-backed OVERLAPPED for one request.
struct Overlapped {
  OVERLAPPED ov{};
  Overlapped() { ov.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr); }
  ~Overlapped() {
    if (ov.hEvent != nullptr) ::CloseHandle(ov.hEvent);
  }
  Overlapped(const Overlapped&) = delete;
  Overlapped& operator=(const Overlapped&) = delete;
};

}  // namespace

struct SerialPort::Device {
  HANDLE port = INVALID_HANDLE_VALUE;
  HANDLE wake = nullptr;  // manual-reset event, set once Close was called
  std::atomic<bool> closed{false};
  std::mutex stashMutex;
  bool stashed = false;  // a byte that a wait read ahead
  uint8_t stash = 0;

  ~Device() {
    if (port != INVALID_HANDLE_VALUE) ::CloseHandle(port);
    if (wake != nullptr) ::CloseHandle(wake);
  }

  enum class Outcome { Done, Timeout, Closed, Failed };

  // Starts an overlapped request and waits for it, the deadline or Close. A request still
  // pending at the end is cancelled and its result collected, so no buffer outlives the call;
  // `transferred` counts what it moved even when it was cancelled.
  template <typename Start>
  Outcome Run(Start start, Clock::time_point deadline, DWORD* transferred) {
    *transferred = 0;
    Overlapped request;
    if (request.ov.hEvent == nullptr) return Outcome::Failed;
    if (!start(&request.ov)) {
      if (::GetLastError() != ERROR_IO_PENDING) return Outcome::Failed;
      const HANDLE waits[2] = {request.ov.hEvent, wake};
      const DWORD which = ::WaitForMultipleObjects(2, waits, FALSE, RemainingMs(deadline));
      if (which != WAIT_OBJECT_0) ::CancelIo(port);
      const BOOL ok = ::GetOverlappedResult(port, &request.ov, transferred, TRUE);
      if (which == WAIT_OBJECT_0 + 1 || closed.load()) return Outcome::Closed;
      if (which != WAIT_OBJECT_0) return *transferred > 0 ? Outcome::Done : Outcome::Timeout;
      return ok ? Outcome::Done : Outcome::Failed;
    }
    return ::GetOverlappedResult(port, &request.ov, transferred, FALSE) ? Outcome::Done
                                                                        : Outcome::Failed;
  }

  // Bytes waiting in the driver's receive queue; nothing when the device failed.
  std::optional<DWORD> Queued() {
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(port, &errors, &status)) return std::nullopt;
    return status.cbInQue;
  }
};

std::string ResolveSerialPortName(const std::string& name) {
  if (name.rfind("\\\\", 0) == 0) return name;  // a device path already
  const auto n = ComPortNumber(name);
  if (!n) return name;
  // PENWICK_COMn may still point a port name at another device (tests, adapters).
  if (auto device = ComPortFromEnvironment(*n)) return *device;
  if (*n == 0) return name;
  // The device namespace form opens every port, COM10 and above included.
  return "\\\\.\\COM" + std::to_string(*n);
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
  auto fail = [&](std::string reason) {
    if (error) *error = std::move(reason);
    return false;
  };
  if (Current()) return fail("port already open");
  if (baud == 0) return fail("unsupported speed 0");
  const std::string path = ResolveSerialPortName(name);

  auto device = std::make_shared<Device>();
  // No sharing: the port is this program's alone until it is closed.
  device->port = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (device->port == INVALID_HANDLE_VALUE) {
    return fail(SystemError(::GetLastError() == ERROR_ACCESS_DENIED ? path + " is in use" : path));
  }
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(device->port, &dcb)) return fail(SystemError(path + ": not a serial port"));
  dcb.BaudRate = baud;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fAbortOnError = FALSE;
  if (!::SetCommState(device->port, &dcb))
    return fail(SystemError(path + ": line settings refused"));
  // Reads wait for every byte asked for and writes for the line; both are bounded by the
  // waits above, never by the driver.
  COMMTIMEOUTS timeouts{};
  if (!::SetCommTimeouts(device->port, &timeouts))
    return fail(SystemError(path + ": time-outs refused"));
  ::PurgeComm(device->port, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
  device->wake = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (device->wake == nullptr) return fail(SystemError("event"));
  std::atomic_store(&device_, device);
  return true;
}

void SerialPort::Close() {
  auto device = std::atomic_exchange(&device_, std::shared_ptr<Device>());
  if (!device || device->closed.exchange(true)) return;
  // Discard what is still queued (closing a real port would otherwise wait for the output to
  // drain) and wake every wait; the handle closes with the last operation that holds it.
  ::PurgeComm(device->port, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
  ::SetEvent(device->wake);
}

bool SerialPort::IsOpen() const {
  return Current() != nullptr;
}

void SerialPort::Purge() {
  auto device = Current();
  if (!device) return;
  {
    std::lock_guard lock(device->stashMutex);
    device->stashed = false;
  }
  ::PurgeComm(device->port, PURGE_RXCLEAR | PURGE_TXCLEAR);
}

long SerialPort::Read(uint8_t* buffer, size_t max) {
  auto device = Current();
  if (!device) return -1;
  if (max == 0) return 0;
  size_t done = 0;
  {
    std::lock_guard lock(device->stashMutex);
    if (device->stashed) {
      buffer[done++] = device->stash;
      device->stashed = false;
    }
  }
  const auto queued = device->Queued();
  if (!queued) return done > 0 ? static_cast<long>(done) : -1;
  const DWORD want = static_cast<DWORD>(std::min<size_t>(max - done, *queued));
  if (want == 0) return static_cast<long>(done);
  DWORD got = 0;
  // The bytes are there already: the read completes at once; the bound only guards a driver
  // that lost them meanwhile.
  const auto outcome = device->Run(
      [&](OVERLAPPED* ov) { return ::ReadFile(device->port, buffer + done, want, nullptr, ov); },
      DeadlineAfter(std::chrono::seconds(1)), &got);
  done += got;
  if (outcome == Device::Outcome::Failed && done == 0) return -1;
  if (outcome == Device::Outcome::Closed && done == 0) return -1;
  return static_cast<long>(done);
}

long SerialPort::Write(const uint8_t* data, size_t length, std::chrono::milliseconds timeout) {
  auto device = Current();
  if (!device) return -1;
  const auto deadline = DeadlineAfter(timeout);
  size_t done = 0;
  while (done < length) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(length - done, 1u << 20));
    DWORD sent = 0;
    const auto outcome = device->Run(
        [&](OVERLAPPED* ov) { return ::WriteFile(device->port, data + done, chunk, nullptr, ov); },
        deadline, &sent);
    done += sent;
    if (outcome != Device::Outcome::Done) return -1;
  }
  return static_cast<long>(done);
}

SerialPort::WaitResult SerialPort::WaitForData(std::chrono::milliseconds timeout) {
  auto device = Current();
  if (!device) return WaitResult::Closed;
  {
    std::lock_guard lock(device->stashMutex);
    if (device->stashed) return WaitResult::Data;
  }
  const auto queued = device->Queued();
  if (!queued) return device->closed.load() ? WaitResult::Closed : WaitResult::Error;
  if (*queued > 0) return WaitResult::Data;
  uint8_t byte = 0;
  DWORD got = 0;
  const auto outcome =
      device->Run([&](OVERLAPPED* ov) { return ::ReadFile(device->port, &byte, 1, nullptr, ov); },
                  DeadlineAfter(timeout), &got);
  if (got == 1) {
    std::lock_guard lock(device->stashMutex);
    device->stash = byte;
    device->stashed = true;
  }
  switch (outcome) {
    case Device::Outcome::Done:
      return got == 1 ? WaitResult::Data : WaitResult::Timeout;
    case Device::Outcome::Timeout:
      return WaitResult::Timeout;
    case Device::Outcome::Closed:
      return WaitResult::Closed;
    default:
      return WaitResult::Error;
  }
}

}  // namespace pw
