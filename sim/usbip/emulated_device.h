// The emulated receiver as a USB device on a USB/IP server: its presence on the device list,
// the one connection that imported it, its endpoints, and its reboot. Thread-safe.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "bulk_function.h"
#include "device_model.h"
#include "in_pipe.h"
#include "usbip_wire.h"

namespace sim::usbip {

// Where the device sends its replies: the connection that imported it.
class UrbSink {
 public:
  // Called with the device's lock held, so replies leave in the order they were decided.
  virtual void SendRetSubmit(uint32_t seqnum, int32_t status, std::span<const uint8_t> inData,
                             uint32_t actual) = 0;
  virtual void SendRetUnlink(uint32_t seqnum, int32_t status) = 0;
  // Ends the connection; must not block. Any thread.
  virtual void Drop() = 0;
  // True when the client has closed the connection (its thread may not have noticed yet).
  virtual bool PeerClosed() = 0;

 protected:
  ~UrbSink() = default;
};

struct DeviceSettings {
  DescriptorOptions descriptors;
  std::string busid = "1-1";
  uint32_t busnum = 1;
  uint32_t devnum = 2;
  std::chrono::milliseconds rebootDelay{1000};  // time off the bus during a reboot
  // Off the bus at first, and on it this long after the device is made; nothing: at once.
  std::optional<std::chrono::milliseconds> appearAfter;
  // Reboot this long after the first import (once); nothing when unset.
  std::optional<std::chrono::milliseconds> rebootAfter;
  bool rebootOnFrame = true;  // the receiver's reboot frame on the OUT pipe reboots it
  // Receives one line per event (import, release, each request, unlink, reboot), for tests
  // that check what the host asked for. Called from the server's threads, one at a time.
  std::function<void(const std::string&)> trace;
};

class EmulatedDevice final : public BulkPort {
 public:
  using Clock = std::chrono::steady_clock;

  EmulatedDevice(DeviceSettings settings, std::unique_ptr<BulkFunction> function);

  const DeviceSettings& settings() const { return settings_; }
  uint32_t devid() const { return settings_.busnum << 16 | settings_.devnum; }

  // The device list: the device while it is on the bus (imported or not), else nothing.
  std::vector<DeviceRecord> List() const;

  // Attaches `sink` as the device's connection. Fails (nothing returned) for another busid,
  // while the device is off the bus, or while another open connection holds it; a holder
  // whose client has already closed gives the device up (a host may close and import again
  // at once, before the old connection's thread has seen the end). A successful
  // import resets the device: configuration, pending requests, queued data, the function.
  std::optional<DeviceRecord> Import(const std::string& busid, UrbSink* sink);

  // The connection of `sink` has ended; its pending requests are dropped.
  void Release(UrbSink* sink);

  // One CMD_SUBMIT from `sink` (outData: the OUT data stage). Requests from a connection
  // that no longer holds the device are ignored.
  void Submit(UrbSink* sink, const UrbHeader& header, std::span<const uint8_t> outData);
  // One CMD_UNLINK: RET_UNLINK -ECONNRESET when the victim was still pending (it then gets no
  // RET_SUBMIT), else 0 (its RET_SUBMIT has already been sent).
  void Unlink(UrbSink* sink, uint32_t seqnum, uint32_t victim);

  // Brings the device back when its reboot delay has passed and fires the scheduled reboot.
  void Tick(Clock::time_point now);

  bool present() const { return present_.load(); }
  size_t pendingReads() const;

  // BulkPort.
  void SendIn(std::vector<uint8_t> transfer) override;
  void Reboot() override;

  // Leaves the bus for good (the cable pulled): the connection drops, the device never comes
  // back.
  void Unplug();

 private:
  void Trace(const std::string& line);
  DeviceRecord Record() const;
  bool HasBulkPipes() const;
  void CompleteReadsLocked();
  void BulkOut(UrbSink* sink, const UrbHeader& header, std::span<const uint8_t> data);
  // Takes the device off the bus, dropping its connection; back after `backAfter` unless
  // that is empty. False when it was off already.
  bool LeaveBus(std::optional<std::chrono::milliseconds> backAfter);

  const DeviceSettings settings_;
  std::unique_ptr<BulkFunction> function_;
  std::mutex functionMu_;  // one OnOut at a time; taken before mu_

  mutable std::mutex mu_;  // device state; replies are sent while it is held
  std::atomic<bool> present_{true};
  bool rebooting_ = false;
  Clock::time_point backAt_{};
  std::optional<Clock::time_point> firstImport_;
  bool scheduledRebootDone_ = false;
  DeviceModel model_;
  InPipe inPipe_;
  UrbSink* active_ = nullptr;

  std::mutex traceMu_;  // taken last
  std::mutex dropMu_;   // guards dropTarget_; taken after mu_, or alone
  UrbSink* dropTarget_ = nullptr;
};

}  // namespace sim::usbip
