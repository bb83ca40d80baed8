// The library's process-wide state: the transfer records of the two bulk pipes, the device
// context of the one device it serves, and the flags and time-outs shared between the window
// thread (arrival, removal) and the threads that transfer.
//
// Everything a transfer reads while another thread may change it is atomic: pipe handles and
// packet sizes, the abort flag, the device version, the time-outs. Driver handles are plain
// numbers that stay harmless once closed (operations on them fail), so a transfer never
// touches a released object. The device context (descriptors, path, pipe slots) is guarded by
// `mutex`, held only while copying, never across a driver call or a wait. Arrival, removal and
// the open retry are serialised by `lifecycle`, which no transfer takes.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "penwick/usb_driver.hpp"

namespace hvusb {

// Size of each transfer record's committed buffer.
inline constexpr size_t kTxBufferSize = 0x81000;
inline constexpr uint32_t kUnknownVersion = 0xFFFF;
inline constexpr uint32_t kDefaultTimeoutMs = 8000;

struct TxInfo {
  std::atomic<uint32_t> maxPacketSize{0};  // 0 while no pipe is assigned
  std::atomic<pw::usb::Handle> pipe{pw::usb::kInvalidHandle};
  std::atomic<uint32_t> endpointAddress{0};
  uint8_t* pBuf = nullptr;  // kTxBufferSize bytes from InitDevice, released at exit
};

struct DeviceContext {
  pw::usb::Handle device = pw::usb::kInvalidHandle;
  std::array<uint8_t, 18> deviceDescriptor{};
  std::vector<uint8_t> configuration;  // the set as received
  std::array<pw::usb::Handle, 32> pipes{};
  std::string path;
};

struct LibraryState {
  std::mutex mutex;      // guards `context`, `rememberedPath`
  std::mutex lifecycle;  // serialises DeviceArrival, DeviceRemoval, TryDeviceOpen, exit

  TxInfo out;  // host to receiver
  TxInfo in;   // receiver to host
  DeviceContext context;

  std::atomic<bool> deviceOpen{false};   // the device-open mark
  std::atomic<bool> pendingOpen{false};  // an arrival's path could not be opened
  std::string rememberedPath;            // that path
  std::atomic<uint32_t> version{kUnknownVersion};

  std::atomic<bool> ioAbort{false};     // set by removal; ends a transfer's wait
  std::atomic<bool> taskCancel{false};  // set by removal; ends a file task
  std::atomic<uint32_t> writeTimeoutMs{kDefaultTimeoutMs};
  std::atomic<uint32_t> readTimeoutMs{kDefaultTimeoutMs};
  // Fuzzing: a request not done when its wait begins has timed out (every wait slice is
  // zero), so a read nothing answers is given up and cancelled at once.
  std::atomic<bool> instantWaits{false};

  std::atomic<uint32_t> noticeRegistration{0};
};

LibraryState& State();

// The driver the library talks to (the process-wide one).
pw::usb::Driver& Driver();

// Swapped mode: a known device version from 0x0100 to 0x01FF while a device is marked open.
bool SwappedMode();

// The closing steps of a removal: closes every pipe slot and the device, clears the transfer
// records' pipes and the context, clears the device-open mark. Caller holds `lifecycle`.
void CloseDevice();

}  // namespace hvusb
