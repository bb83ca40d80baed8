// Pipe path building.
#include "pipe_path.h"

#include <cstdio>

namespace hvusb {

std::optional<std::string> PipePath(std::string_view devicePath, unsigned index) {
  char suffix[48];
  const int n =
      std::snprintf(suffix, sizeof suffix, "\\INTERFACE_0x%2.2x\\PIPE_0x%2.2x", 0u, index);
  if (n <= 0 || devicePath.size() + static_cast<size_t>(n) >= kPipePathBuffer) return std::nullopt;
  std::string path(devicePath);
  path.append(suffix, static_cast<size_t>(n));
  return path;
}

}  // namespace hvusb
