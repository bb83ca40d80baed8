// Command-line numbers of the emulated receiver.
#include "number_option.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace sim {

bool ParseNumber(const char* text, int base, unsigned long max, unsigned long* value) {
  if (text == nullptr) return false;
  std::string_view s(text);
  if (base == 16 && (s.starts_with("0x") || s.starts_with("0X"))) s.remove_prefix(2);
  if (s.empty() || s.front() == '-' || s.front() == '+') return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtoul(s.data(), &end, base);
  return errno == 0 && *end == '\0' && *value <= max;
}

}  // namespace sim
