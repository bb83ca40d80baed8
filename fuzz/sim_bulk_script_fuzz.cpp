// Fuzz target: the emulated receiver's bulk script parser (a file given on its command line).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bulk_script.h"
#include "fuzz_target.h"

namespace {

bool Parse(const uint8_t* data, size_t size) {
  std::vector<sim::usbip::ScriptRule> rules;
  std::string error;
  const bool ok = sim::usbip::ParseScript(
      std::string_view(reinterpret_cast<const char*>(data), size), &rules, &error);
  if (ok != error.empty()) __builtin_trap();
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Parse(data, size);
  return 0;
}

bool FuzzInputRefused(const uint8_t* data, size_t size) {
  return !Parse(data, size);
}
