// Temporary: the real backends follow.
#include "backends.hpp"

namespace pw::usb {
std::unique_ptr<Backend> MakeLibusbBackend(std::vector<UsbId>) {
  return nullptr;
}
}  // namespace pw::usb
