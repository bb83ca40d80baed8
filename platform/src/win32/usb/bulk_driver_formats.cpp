// The bulk driver's paths, control-request buffers, error meanings and notice layout.
#include "bulk_driver_formats.hpp"

#include <algorithm>
#include <cstring>

#include "penwick/window.hpp"

namespace pw::usb::bulk {

bool IsDriverPath(std::string_view path) {
  return path.size() > 4 && path[0] == '\\' && path[1] == '\\' &&
         (path[2] == '?' || path[2] == '.') && path[3] == '\\';
}

std::string CanonicalDevicePath(std::string_view path) {
  std::string canonical(path);
  for (char& c : canonical) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return canonical;
}

std::array<IoctlCall, 2> ControlRequestCalls(const std::array<uint8_t, 8>& setup) {
  const uint32_t wLength = static_cast<uint32_t>(setup[6] | (setup[7] << 8));
  return {IoctlCall{kIoctlControlSetup, 8, 8}, IoctlCall{kIoctlControlData, wLength, wLength}};
}

size_t ControlDataCount(uint32_t returned, size_t wLength) {
  if (returned == 0) return wLength;
  return std::min<size_t>(returned, wLength);
}

bool PassedToDriver(uint32_t code) {
  return code == kIoctlGetDriverVersion || code == kIoctlIsCheckedBuild ||
         code == kIoctlGetLastStatus || code == kIoctlSetDeviceValue;
}

Status StatusFromWin32Error(uint32_t error) {
  switch (error) {
    case 0:
      return Status::Success;
    case win32::kFileNotFound:
    case win32::kPathNotFound:
      return Status::NotFound;
    case win32::kAccessDenied:
      return Status::AccessDenied;
    case win32::kSharingViolation:
    case win32::kBusy:
      return Status::Busy;
    case win32::kInvalidHandle:
      return Status::InvalidHandle;
    case win32::kInvalidParameter:
    case win32::kInsufficientBuffer:
      return Status::InvalidParameter;
    case win32::kInvalidFunction:
    case win32::kNotSupported:
      return Status::NotSupported;
    case win32::kOperationAborted:
      return Status::Cancelled;
    case win32::kSemTimeout:
    case win32::kTimeout:
      return Status::Timeout;
    case win32::kMoreData:
      return Status::Overflow;
    case win32::kGenFailure:
      return Status::Stall;
    // What a request on an interface whose device has gone away ends with.
    case win32::kNotReady:
    case win32::kBadCommand:
    case win32::kDevNotExist:
    case win32::kBrokenPipe:
    case win32::kNoSuchDevice:
    case win32::kDeviceNotConnected:
      return Status::NoDevice;
    default:
      return Status::IoError;
  }
}

Issue IssueOutcome(bool succeeded, uint32_t error) {
  if (succeeded) return Issue::Completed;
  return error == win32::kIoPending ? Issue::Pending : Issue::Refused;
}

namespace {
uint32_t Le32(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) | (static_cast<uint32_t>(bytes[at + 1]) << 8) |
         (static_cast<uint32_t>(bytes[at + 2]) << 16) |
         (static_cast<uint32_t>(bytes[at + 3]) << 24);
}
}  // namespace

std::optional<DeviceNotice> DecodeDeviceNotice(uintptr_t event,
                                               std::span<const uint8_t> broadcast) {
  if (event != kDeviceArrival && event != kDeviceRemoveComplete) return std::nullopt;
  if (broadcast.size() < kNoticeNameOffset + 1) return std::nullopt;
  // The structure says how long it is; never read past either length.
  const size_t size = std::min<size_t>(Le32(broadcast, 0), broadcast.size());
  if (size < kNoticeNameOffset + 1 || Le32(broadcast, 4) != kDeviceTypeInterface) {
    return std::nullopt;
  }
  if (std::memcmp(broadcast.data() + kNoticeClassOffset, kInterfaceClass.data(),
                  kInterfaceClass.size()) != 0) {
    return std::nullopt;
  }
  const auto name = broadcast.subspan(kNoticeNameOffset, size - kNoticeNameOffset);
  const auto end = std::find(name.begin(), name.end(), uint8_t{0});
  if (end == name.end()) return std::nullopt;
  const std::string_view path(reinterpret_cast<const char*>(name.data()), end - name.begin());
  if (!IsDriverPath(path)) return std::nullopt;
  DeviceNotice notice;
  notice.event = static_cast<uint32_t>(event);
  notice.path = CanonicalDevicePath(path);
  return notice;
}

}  // namespace pw::usb::bulk
