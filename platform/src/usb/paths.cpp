// Pipe paths below a device path, and the status texts.
#include <charconv>
#include <cstdio>

#include "penwick/usb_driver.hpp"

namespace pw::usb {

namespace {
constexpr std::string_view kInterfaceTag = "\\INTERFACE_0x";
constexpr std::string_view kPipeTag = "\\PIPE_0x";

std::optional<unsigned> ParseHex(std::string_view text) {
  if (text.empty() || text.size() > 4) return std::nullopt;
  unsigned value = 0;
  for (char c : text) {
    // Only the lower-case digits the paths are built with.
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return std::nullopt;
  }
  auto result = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (result.ec != std::errc()) return std::nullopt;
  return value;
}
}  // namespace

std::string PipePath(std::string_view devicePath, unsigned pipe, unsigned interfaceNumber) {
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, "\\INTERFACE_0x%2.2x\\PIPE_0x%2.2x", interfaceNumber, pipe);
  std::string path(devicePath);
  path += suffix;
  if (path.size() > kMaxPipePathLength) return {};
  return path;
}

std::optional<PipePathParts> ParsePipePath(std::string_view path) {
  const size_t pipeAt = path.rfind(kPipeTag);
  if (pipeAt == std::string_view::npos) return std::nullopt;
  const size_t interfaceAt = path.rfind(kInterfaceTag, pipeAt);
  if (interfaceAt == std::string_view::npos || interfaceAt == 0) return std::nullopt;
  const auto interfaceNumber = ParseHex(
      path.substr(interfaceAt + kInterfaceTag.size(), pipeAt - interfaceAt - kInterfaceTag.size()));
  const auto pipe = ParseHex(path.substr(pipeAt + kPipeTag.size()));
  if (!interfaceNumber || !pipe) return std::nullopt;
  PipePathParts parts;
  parts.device = std::string(path.substr(0, interfaceAt));
  parts.interfaceNumber = *interfaceNumber;
  parts.pipe = *pipe;
  return parts;
}

const char* StatusText(Status status) {
  switch (status) {
    case Status::Success:
      return "success";
    case Status::Pending:
      return "pending";
    case Status::Cancelled:
      return "cancelled";
    case Status::Stall:
      return "stalled";
    case Status::Overflow:
      return "overflow";
    case Status::NoDevice:
      return "no device";
    case Status::IoError:
      return "I/O error";
    case Status::Timeout:
      return "timed out";
    case Status::InvalidHandle:
      return "invalid handle";
    case Status::InvalidParameter:
      return "invalid parameter";
    case Status::NotFound:
      return "not found";
    case Status::AccessDenied:
      return "access denied";
    case Status::Busy:
      return "busy";
    case Status::NotSupported:
      return "not supported";
  }
  return "unknown";
}

}  // namespace pw::usb
