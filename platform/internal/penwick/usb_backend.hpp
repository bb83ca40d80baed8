// The seam between the USB driver's core and its backends (libusb, USB/IP, the scripted fake of
// the tests): one table of operations per backend. The core owns handles, pipe numbering,
// exclusivity, time-outs and the notices to windows; a backend only finds devices, opens
// sessions with them and moves requests.
#pragma once

#include <array>
#include <chrono>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "penwick/usb_config_walk.hpp"
#include "penwick/usb_driver.hpp"

namespace pw::usb {

// Where a backend reports arrivals and removals. Calls may come from any backend thread but
// never from inside Backend or DeviceSession operations the core is calling (no re-entry).
// DeviceRemoved fails every request in flight on that device before it returns (and before
// the removal notice is posted). Neither call blocks for long.
class PW_PLATFORM_API BackendSink {
 public:
  virtual ~BackendSink() = default;
  virtual void DeviceArrived(const std::string& path) = 0;
  virtual void DeviceRemoved(const std::string& path) = 0;
};

// An open session with one device (libusb: an opened, claimed device; USB/IP: an imported
// device's connection). Destroyed by the core when the last handle on the device closes or
// the device went away; by then the core has failed every request it knows of.
class PW_PLATFORM_API DeviceSession {
 public:
  virtual ~DeviceSession() = default;

  // Synchronous control request with the 8-byte setup packet; `data` holds wLength bytes (IN:
  // filled, OUT: sent). Blocks up to `timeout`; a request still running then is cancelled
  // (bounded wait) and gives Timeout. Fails with NoDevice once the device is gone.
  virtual Status Control(const std::array<uint8_t, 8>& setup, std::span<uint8_t> data,
                         size_t* transferred, std::chrono::milliseconds timeout) = 0;

  // Starts a bulk request (request->endpoint() has the direction bit). Must not block. It may
  // complete the request before returning (done at once, or refused). Otherwise the backend
  // completes it later from its own thread, exactly once as far as the request is concerned.
  virtual void Submit(const RequestPtr& request) = 0;

  // Asks the device to give the request up. Must not block. The request completes later with
  // Cancelled, or with its data when the device had already answered. Harmless for a request
  // already done.
  virtual void Cancel(const RequestPtr& request) = 0;

  // Pipe `pipe` (endpoint `endpoint` of the first interface) was opened, or its handle closed
  // after its requests were cancelled and waited for. A backend whose pipes are objects of their
  // own (a driver with one file per pipe) opens and closes them here; the others need not.
  // OpenPipe may block briefly; a failure (NotFound, AccessDenied, Busy, IoError) keeps the
  // pipe path from opening.
  virtual Status OpenPipe(unsigned /*pipe*/, const EndpointInfo& /*endpoint*/) {
    return Status::Success;
  }
  virtual void ClosePipe(unsigned /*pipe*/, const EndpointInfo& /*endpoint*/) {}

  // The driver's own requests other than the control stages (version, checked build, last
  // status, the per-device value). A backend in front of a real driver passes them on, sets
  // `status` and `returned` and returns true; the others return false and the core answers.
  // May block up to ControlTimeout().
  virtual bool DriverRequest(uint32_t /*code*/, std::span<const uint8_t> /*in*/,
                             std::span<uint8_t> /*out*/, size_t* /*returned*/, Status* /*status*/) {
    return false;
  }
};

// A kind of device access. Every entry may block only where it says so.
class PW_PLATFORM_API Backend {
 public:
  virtual ~Backend() = default;

  // Short name for texts ("libusb", "usbip", "fake").
  virtual std::string_view Name() const = 0;

  // True when the device path belongs to this backend (by its prefix).
  virtual bool Owns(std::string_view devicePath) const = 0;

  // Starts the notice source. Takes a first snapshot of the present devices silently (they
  // are found by Enumerate, not announced), then reports changes to `sink` until Stop. May
  // block as long as one Enumerate.
  virtual void Start(BackendSink* sink) = 0;

  // Stops the notice source; no sink call happens after it returns. Bounded (joins threads
  // that wake at least every half second).
  virtual void Stop() = 0;

  // Paths of the present receivers; also refreshes the snapshot, so a device listed here is
  // not announced again. May block about a second per unreachable server.
  virtual std::vector<std::string> Enumerate() = 0;

  // Opens a session with the device. On failure returns null and sets `status` (NotFound,
  // AccessDenied, Busy, IoError) and `message`. May block (connect, import, retries) up to
  // about two seconds.
  virtual std::unique_ptr<DeviceSession> Open(const std::string& devicePath, Status* status,
                                              std::string* message) = 0;

  // What the operator should know about the backend now (a server that cannot be reached);
  // empty when all is well. The same text while the cause lasts. Never blocks for long.
  virtual std::string Note() const { return {}; }
};

}  // namespace pw::usb
