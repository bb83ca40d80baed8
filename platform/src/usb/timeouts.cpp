// The time-out scale that lets tests shorten every fixed time-out of the USB layers.
#include <atomic>
#include <cstdlib>

#include "penwick/usb_driver.hpp"

namespace pw::usb {

namespace {
uint32_t InitialPermille() {
  const char* text = std::getenv("PENWICK_TIMEOUT_PERMILLE");
  if (!text || !*text) return 1000;
  char* end = nullptr;
  const unsigned long value = std::strtoul(text, &end, 10);
  if (*end != '\0' || value == 0 || value > 1000000) return 1000;
  return static_cast<uint32_t>(value);
}

std::atomic<uint32_t>& Permille() {
  static std::atomic<uint32_t> permille{InitialPermille()};
  return permille;
}
}  // namespace

void SetTimeoutPermille(uint32_t permille) {
  Permille().store(permille == 0 ? 1000 : permille);
}

uint32_t TimeoutPermille() {
  return Permille().load();
}

std::chrono::milliseconds ScaledTimeout(std::chrono::milliseconds timeout) {
  if (timeout.count() <= 0) return timeout;
  const long long scaled = timeout.count() * static_cast<long long>(Permille().load()) / 1000;
  return std::chrono::milliseconds(scaled < 1 ? 1 : scaled);
}

std::chrono::milliseconds ControlTimeout() {
  return ScaledTimeout(std::chrono::milliseconds(5000));
}

}  // namespace pw::usb
