// The USB bulk driver: the receiver's device interfaces, their pipes, control requests and
// asynchronous bulk requests, with arrival and removal notices posted to registered windows.
//
// Use: Driver::Process() is the process-wide driver, configured from the environment
// (PENWICK_USB_IDS selects local libusb devices, PENWICK_USBIP lists USB/IP servers). Open a
// device path (from Enumerate or a device-change message) or one of its pipe paths; every open
// yields a Handle, a plain number that stays harmless after its device is gone (operations on it
// then fail with NoDevice or InvalidHandle). Bulk requests return a Request that completes
// through an event the caller waits on in slices; CancelIo ends a pipe's outstanding requests,
// after which Wait tells when each has really finished.
//
// Thread safety: every Driver operation may be called from any thread. Nothing here calls back
// into the caller except by posting messages to registered windows.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "penwick/platform_api.h"
#include "penwick/window.h"

namespace pw::usb {

// Outcome of an operation or a request.
enum class Status : int32_t {
  Success = 0,
  Pending,           // the request has not finished yet
  Cancelled,         // CancelIo (or Close) ended the request before the device answered
  Stall,             // the device refused a control request or halted the endpoint
  Overflow,          // the device sent more than the request could take
  NoDevice,          // the device went away (removal, lost connection, reset driver)
  IoError,           // link or protocol error
  Timeout,           // a synchronous control request did not finish in time
  InvalidHandle,     // the handle is not open (never opened, closed)
  InvalidParameter,  // null buffer, wrong sizes, wrong kind of handle, unknown path shape
  NotFound,          // no present device or no such pipe under that path
  AccessDenied,      // permission denied by the system (OpenResult::message says what to do)
  Busy,              // already open (opens are exclusive) or held by another driver or client
  NotSupported,      // unknown control code
};
PW_PLATFORM_API const char* StatusText(Status status);

// ---- Paths ---------------------------------------------------------------------------------
// Device paths: "usb:<bus>-<port path>" (libusb, e.g. "usb:1-2.4") and
// "usbip:<host>:<port>/<busid>" (USB/IP, e.g. "usbip:127.0.0.1:3240/1-1"). Pipe i of a device
// is "<device path>\INTERFACE_0x00\PIPE_0x<i>" (two lower-case hex digits at least); pipe i is
// the i-th endpoint descriptor of the device's first interface descriptor, in descriptor order.
inline constexpr size_t kMaxDevicePathLength = 234;  // so that every pipe path fits 259
inline constexpr size_t kMaxPipePathLength = 259;
inline constexpr unsigned kMaxPipes = 32;

// "<device>\INTERFACE_0x00\PIPE_0x<pipe>". Empty when the result would exceed
// kMaxPipePathLength.
PW_PLATFORM_API std::string PipePath(std::string_view devicePath, unsigned pipe,
                                     unsigned interfaceNumber = 0);

struct PipePathParts {
  std::string device;
  unsigned interfaceNumber = 0;
  unsigned pipe = 0;
};
// Splits a pipe path; nullopt when the text does not end in a pipe suffix.
PW_PLATFORM_API std::optional<PipePathParts> ParsePipePath(std::string_view path);

// ---- Driver control codes (IoControl on a device handle) -----------------------------------
// Every code answers through the output buffer; `returned` gets the bytes written there.
inline constexpr uint32_t kIoctlGetDriverVersion = 0x00220000;  // out: u32 kDriverVersion
inline constexpr uint32_t kIoctlGetLastStatus = 0x00220010;     // in/out: u32 last Status
inline constexpr uint32_t kIoctlIsCheckedBuild = 0x00220014;    // out: u32 1 in debug builds
// in: u32 value; out: u32 previous value. The driver keeps the value per open device and
// does nothing else with it (the USB library sends 1 when a device is ready for transfers).
inline constexpr uint32_t kIoctlSetDeviceValue = 0x00220018;
// Control request, setup stage: in: the 8-byte setup packet (USB layout, 16-bit fields
// little-endian); out: the same 8 bytes. Stored for the next data stage on this handle.
inline constexpr uint32_t kIoctlControlSetup = 0x00222100;
// Control request, data stage: runs the stored setup packet. For a device-to-host request the
// output buffer (at least wLength bytes) receives the data and `returned` the count actually
// received (may be less than wLength; the rest of the buffer is zeroed). For host-to-device the
// input buffer supplies wLength bytes. Blocks up to ControlTimeout(). InvalidParameter without a
// preceding setup stage.
inline constexpr uint32_t kIoctlControlData = 0x00222104;

inline constexpr uint32_t kDriverVersion = 0x00010000;  // 1.0, major in the high 16 bits

// ---- Time-outs -----------------------------------------------------------------------------
// Every fixed time-out of the USB layers (read and write time-outs, drains, the driver's own
// control time-out) goes through ScaledTimeout, so tests can shorten them all: permille 1000
// (the default) keeps them as they are, 50 makes an 8 s read wait 400 ms. The environment
// variable PENWICK_TIMEOUT_PERMILLE sets the initial value (for end-to-end tests of programs).
// 0 stays 0 (an unlimited wait); any other result is at least 1 ms.
PW_PLATFORM_API void SetTimeoutPermille(uint32_t permille);
PW_PLATFORM_API uint32_t TimeoutPermille();
PW_PLATFORM_API std::chrono::milliseconds ScaledTimeout(std::chrono::milliseconds timeout);
// Time-out of one control request (5 s, scaled).
PW_PLATFORM_API std::chrono::milliseconds ControlTimeout();

// ---- Requests ------------------------------------------------------------------------------
enum class Direction : uint8_t { Out = 0, In = 1 };

// One asynchronous bulk (or control) request. It owns its data: an OUT request a copy of the
// bytes to send, an IN request the bytes received. Completion happens once; later completions
// (a late answer after a cancel or a removal) are ignored, so a request's data never changes
// after Done() and never lands in another request.
class PW_PLATFORM_API Request {
 public:
  Request(Direction direction, uint8_t endpoint, size_t length);
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  // Waits up to `timeout` (0: just looks) for completion. Never blocks longer. True when done.
  bool Wait(std::chrono::milliseconds timeout) const;
  bool Done() const;
  // Pending until done.
  Status status() const;
  // Bytes moved (IN: received, OUT: accepted by the device). 0 until done.
  size_t Transferred() const;
  // IN: the Transferred() bytes received, valid once Done(). Empty before.
  std::span<const uint8_t> Received() const;

  Direction direction() const { return direction_; }
  // Endpoint address as in the endpoint descriptor (bit 7 set for IN).
  uint8_t endpoint() const { return endpoint_; }
  // Bytes asked for (IN) or to send (OUT).
  size_t length() const { return length_; }

  // ---- Backend side ----
  // OUT: the bytes to send (length() of them).
  std::span<const uint8_t> OutData() const { return payload_; }
  std::vector<uint8_t>& MutableOutData() { return payload_; }
  // Completes the request once: IN data is copied from `received` (clipped to length()),
  // `transferred` is clipped to length(). Returns false when it was already done.
  bool Complete(Status status, size_t transferred, std::span<const uint8_t> received = {});

 private:
  const Direction direction_;
  const uint8_t endpoint_;
  const size_t length_;
  std::vector<uint8_t> payload_;
  mutable std::mutex mutex_;
  mutable std::condition_variable done_cv_;
  bool done_ = false;
  Status status_ = Status::Pending;
  size_t transferred_ = 0;
};
using RequestPtr = std::shared_ptr<Request>;

// ---- The driver ----------------------------------------------------------------------------
using Handle = uint32_t;
inline constexpr Handle kInvalidHandle = 0;

struct OpenResult {
  Handle handle = kInvalidHandle;
  Status status = Status::NotFound;
  // Empty on success; otherwise a text for the operator (AccessDenied names the udev command).
  std::string message;
};

class Backend;
class DeviceSession;

class PW_PLATFORM_API Driver {
 public:
  // A driver without backends: it finds nothing.
  Driver();
  // A driver over the given backends (tests: a FakeBackend). Starts their notice sources.
  explicit Driver(std::vector<std::unique_ptr<Backend>> backends);
  ~Driver();
  Driver(const Driver&) = delete;
  Driver& operator=(const Driver&) = delete;

  // The process-wide driver, created on first use with BackendsFromEnvironment(). Lives until
  // the process ends.
  static Driver& Process();
  // libusb when PENWICK_USB_IDS names at least one id, USB/IP when PENWICK_USBIP names at least
  // one server.
  static std::vector<std::unique_ptr<Backend>> BackendsFromEnvironment();

  // What the operator should know while waiting for a receiver, given the environment: the
  // setting that is missing (neither PENWICK_USB_IDS nor PENWICK_USBIP names a receiver) or
  // ignored items. Empty when the settings name receivers and are all well-formed.
  static std::string EnvironmentNote();

  // Replaces the backends: every open handle becomes invalid, every request in flight fails
  // with NoDevice, the old notice sources stop. Registered windows stay registered.
  void Reset(std::vector<std::unique_ptr<Backend>> backends);

  // Paths of the present receiver interfaces. May block briefly (USB/IP asks its servers,
  // bounded by a connect and reply time-out of about a second per server).
  std::vector<std::string> Enumerate();

  // Device-change messages (kind DeviceChange, event kDeviceArrival or kDeviceRemoveComplete,
  // devicePath) are posted to `window` from the driver's threads until unregistered or until
  // the window is closed or destroyed. A null window registers nothing and gives 0. Never
  // blocks.
  uint32_t RegisterNotices(PwHwnd window);
  void UnregisterNotices(uint32_t registration);

  // Opens a device path or a pipe path for exclusive use (a second open of the same path gives
  // Busy until the first is closed). Opening a device establishes the session with it (libusb:
  // open and claim interface 0 without detaching any kernel driver; USB/IP: import). An open
  // refused right after the device's arrival (permissions not set yet, server still releasing
  // it) is retried for up to about a second. May block that long. Paths longer than
  // kMaxDevicePathLength (device part) give InvalidParameter.
  OpenResult Open(std::string_view path);
  // Closes a handle. A pipe handle's outstanding requests are cancelled first and waited for
  // (bounded); the device session ends with the last handle on it. Never blocks more than
  // about a second. InvalidHandle when not open.
  Status Close(Handle handle);

  // Synchronous driver request on a device handle (codes above). Returns Success or the
  // failure; `returned` (may be null) gets the bytes written to `out`.
  Status IoControl(Handle device, uint32_t code, const void* in, size_t inSize, void* out,
                   size_t outSize, size_t* returned);
  // The setup and data stages in one call, for convenience. `data` holds wLength bytes.
  Status ControlTransfer(Handle device, const std::array<uint8_t, 8>& setup, uint8_t* data,
                         size_t* transferred);

  // Starts a bulk request on a pipe handle. Never blocks. The request may already be done on
  // return: refused at once (InvalidHandle, NoDevice, InvalidParameter: wrong direction for
  // the pipe) or completed at once by the device. Never null.
  RequestPtr Write(Handle pipe, const uint8_t* data, size_t length);
  RequestPtr Read(Handle pipe, size_t length);
  // Cancels every outstanding request of a pipe. Never blocks: each request completes later
  // (Cancelled, or with its data when the device had already answered); wait for it (bounded)
  // before reusing anything that depends on it.
  Status CancelIo(Handle pipe);

  // Text of the last failed Open (empty when none).
  std::string LastOpenMessage() const;
  // What the backends have to say now (a USB/IP server that cannot be reached), or empty.
  std::string BackendNote();

 private:
  // Handles and sessions (driver_core.cpp, control_codes.cpp); these types are defined in
  // driver_core.hpp.
  class Notices;  // what the backends report, passed on to the driver
  struct Device;
  struct HandleEntry;

  RequestPtr Submit(Handle pipe, Direction direction, const uint8_t* data, size_t length);
  void DeviceArrived(const std::string& path);
  void DeviceRemoved(const std::string& path);
  Backend* BackendFor(std::string_view devicePath) const;
  OpenResult OpenSession(const std::string& devicePath, std::shared_ptr<Device>* device);
  Status LoadPipes(const std::shared_ptr<Device>& device);
  void Post(uint32_t event, const std::string& path);
  void StopBackends(std::vector<std::unique_ptr<Backend>>& backends);
  void FailEverything();
  Status ControlDataStage(HandleEntry& entry, const std::shared_ptr<DeviceSession>& session,
                          const void* in, size_t inSize, void* out, size_t outSize,
                          size_t* returned);

  std::unique_ptr<Notices> notices_;
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<Backend>> backends_;
  std::map<std::string, std::shared_ptr<Device>> devices_;  // live sessions by device path
  std::map<Handle, std::shared_ptr<HandleEntry>> handles_;
  std::map<uint32_t, PwHwnd> windows_;
  std::map<std::string, std::chrono::steady_clock::time_point> arrivals_;
  std::string lastOpenMessage_;
  Handle nextHandle_ = 1;
  uint32_t nextRegistration_ = 1;
  // Serialises Open and Reset so a device's session is established once.
  std::mutex openMutex_;
};

}  // namespace pw::usb
