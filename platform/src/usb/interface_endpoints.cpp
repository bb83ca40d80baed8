// Pipe numbering: the endpoints of one interface in a configuration set, as the device sent
// it (outside input: every length is checked against what is there).
#include "driver_core.hpp"

namespace pw::usb {

std::optional<std::vector<PipeEndpoint>> InterfaceEndpoints(std::span<const uint8_t> config,
                                                            unsigned interfaceNumber) {
  std::vector<PipeEndpoint> endpoints;
  bool inInterface = false;
  size_t at = 0;
  while (at < config.size()) {
    if (config.size() - at < 2) return std::nullopt;
    const size_t length = config[at];
    const uint8_t type = config[at + 1];
    if (length < 2 || length > config.size() - at) return std::nullopt;
    if (type == 4 && length >= 4) {
      if (inInterface) break;  // the next interface (or alternate setting) ends ours
      inInterface = config[at + 2] == interfaceNumber && config[at + 3] == 0;
    } else if (type == 5 && inInterface && length >= 7) {
      if (endpoints.size() < kMaxPipes) {
        PipeEndpoint endpoint;
        endpoint.address = config[at + 2];
        endpoint.maxPacketSize = static_cast<uint16_t>(config[at + 4] | (config[at + 5] << 8));
        endpoints.push_back(endpoint);
      }
    }
    at += length;
  }
  return endpoints;
}

}  // namespace pw::usb
