// What the receiver's bulk driver on Windows takes and gives, as plain data: its interface class,
// its device paths, the buffers of a control request, what its Win32 error codes mean, and the
// device-change notices of its interfaces. Nothing here includes <windows.h>, so these rules
// build and are tested on every system; the Win32 files that use them check the constants
// against the system headers at compile time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "penwick/usb_driver.hpp"

namespace pw::usb::bulk {

// The receiver's device-interface class {FD8F99A2-0278-4E06-9AB6-80497C4C99C5}, as the GUID's
// bytes in memory (Data1 to Data3 little-endian).
inline constexpr std::array<uint8_t, 16> kInterfaceClass{
    0xA2, 0x99, 0x8F, 0xFD, 0x78, 0x02, 0x06, 0x4E, 0x9A, 0xB6, 0x80, 0x49, 0x7C, 0x4C, 0x99, 0xC5};

// ---- Device paths --------------------------------------------------------------------------
// True for the paths the system gives device interfaces ("\\?\..." or "\\.\...").
bool IsDriverPath(std::string_view path);
// The form the driver keys devices by: the path with ASCII letters in lower case. Windows
// compares these paths without regard to case, and the enumeration and the notices do not
// always spell the same interface alike.
std::string CanonicalDevicePath(std::string_view path);

// ---- Control requests ----------------------------------------------------------------------
// One device I/O control: its code and the sizes of its input and output (one buffer serves
// as both, so it holds max(in, out) bytes).
struct IoctlCall {
  uint32_t code = 0;
  uint32_t inSize = 0;
  uint32_t outSize = 0;
};
// A control request as the driver takes it: the setup stage (the 8-byte setup packet in, the
// same 8 bytes out), then the data stage (wLength bytes, from the setup packet, in and out).
std::array<IoctlCall, 2> ControlRequestCalls(const std::array<uint8_t, 8>& setup);
// The bytes a successful data stage gave: the driver's count when it reports one, else the
// whole buffer (the driver fills it with what the setup packet asked for).
size_t ControlDataCount(uint32_t returned, size_t wLength);
// True for the codes the driver answers itself (version, checked build, last status, the
// per-device value); the control stages go through ControlRequestCalls.
bool PassedToDriver(uint32_t code);

// ---- Win32 results -------------------------------------------------------------------------
// The Win32 error codes given a meaning here.
namespace win32 {
inline constexpr uint32_t kInvalidFunction = 1;
inline constexpr uint32_t kFileNotFound = 2;
inline constexpr uint32_t kPathNotFound = 3;
inline constexpr uint32_t kAccessDenied = 5;
inline constexpr uint32_t kInvalidHandle = 6;
inline constexpr uint32_t kNotReady = 21;
inline constexpr uint32_t kBadCommand = 22;
inline constexpr uint32_t kGenFailure = 31;
inline constexpr uint32_t kSharingViolation = 32;
inline constexpr uint32_t kNotSupported = 50;
inline constexpr uint32_t kDevNotExist = 55;
inline constexpr uint32_t kInvalidParameter = 87;
inline constexpr uint32_t kBrokenPipe = 109;
inline constexpr uint32_t kSemTimeout = 121;
inline constexpr uint32_t kInsufficientBuffer = 122;
inline constexpr uint32_t kBusy = 170;
inline constexpr uint32_t kMoreData = 234;
inline constexpr uint32_t kNoSuchDevice = 433;
inline constexpr uint32_t kOperationAborted = 995;
inline constexpr uint32_t kIoPending = 997;
inline constexpr uint32_t kDeviceNotConnected = 1167;
inline constexpr uint32_t kTimeout = 1460;
}  // namespace win32

// The driver's status for a Win32 error code (anything not listed is an IoError).
Status StatusFromWin32Error(uint32_t error);

// How an overlapped ReadFile, WriteFile or DeviceIoControl went on: done at once (the result
// is ready), pending (it ends later), or refused (it never started; `error` says why).
enum class Issue { Completed, Pending, Refused };
Issue IssueOutcome(bool succeeded, uint32_t error);

// ---- Device-change notices -----------------------------------------------------------------
// DEV_BROADCAST_DEVICEINTERFACE_A: size, device type and reserved (32 bits each), the class
// GUID, then the NUL-terminated name. The registration filter is the whole structure.
inline constexpr uint32_t kDeviceTypeInterface = 5;  // DBT_DEVTYP_DEVICEINTERFACE
inline constexpr size_t kNoticeClassOffset = 12;
inline constexpr size_t kNoticeNameOffset = 28;
inline constexpr size_t kNoticeFilterSize = 32;

struct DeviceNotice {
  uint32_t event = 0;  // pw::kDeviceArrival or pw::kDeviceRemoveComplete
  std::string path;    // canonical
};
// Decodes a WM_DEVICECHANGE message: `event` is its wParam, `broadcast` the dbch_size bytes its
// lParam points at. Only arrivals and completed removals of the receiver's interface class
// with a well-formed name are notices; everything else gives nullopt.
std::optional<DeviceNotice> DecodeDeviceNotice(uintptr_t event, std::span<const uint8_t> broadcast);

}  // namespace pw::usb::bulk
