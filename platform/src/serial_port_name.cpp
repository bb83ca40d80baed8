#include "serial_port_name.hpp"

#include <cctype>
#include <cstdlib>

namespace pw {

std::optional<unsigned long> ComPortNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 12) return std::nullopt;
  if (std::toupper(static_cast<unsigned char>(name[0])) != 'C' ||
      std::toupper(static_cast<unsigned char>(name[1])) != 'O' ||
      std::toupper(static_cast<unsigned char>(name[2])) != 'M')
    return std::nullopt;
  unsigned long n = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return std::nullopt;
    n = n * 10 + static_cast<unsigned long>(name[i] - '0');
  }
  return n;
}

std::optional<std::string> ComPortFromEnvironment(unsigned long n) {
  const std::string var = "PENWICK_COM" + std::to_string(n);
  if (const char* value = std::getenv(var.c_str()); value != nullptr && *value != '\0')
    return std::string(value);
  return std::nullopt;
}

}  // namespace pw
