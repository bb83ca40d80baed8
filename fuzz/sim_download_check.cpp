// The emulated receiver's check of a download file on arbitrary bytes: it must give a verdict
// without reading outside the file, whatever the headers and length fields claim.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include <PenwickHelpers.h>

#include "fuzz_target.h"
#include "receiver/download_check.h"

namespace {

// Rewrites the header's and every chunk's CRC, so the fuzzer reaches the checks behind them.
void FixCrcs(std::vector<uint8_t>& f) {
  if (f.size() < 10) return;
  Put16bit(&f[2], GetCrc16(&f[4], 6));
  for (size_t at = 10; at + 4 <= f.size();) {
    const size_t following = Get16bit(&f[at]);
    if (following < 2 || f.size() - at < 2 + following) break;
    Put16bit(&f[at + 2], GetCrc16(&f[at + 4], static_cast<uint32_t>(following - 2)));
    at += 2 + following;
  }
}

// True when the check accepts the file, with an expander that fills with the first data byte
// (it exercises the coded-chunk path) or without one.
bool CheckBoth(const uint8_t* data, size_t size) {
  static const sim::Images expected{std::vector<uint8_t>(131072, 0xFF),
                                    std::vector<uint8_t>(256, 0x00)};
  if (size == 0) return false;
  std::vector<uint8_t> file(data + 1, data + size);
  if (data[0] & 1) FixCrcs(file);
  auto fill = [](const uint8_t* in, size_t n, uint8_t* out, size_t raw) {
    if (n == 0) return false;
    std::memset(out, in[0], raw);
    return true;
  };
  const bool filled = sim::CheckDownloadFile(file, 0x1234, expected, fill).ok;
  const bool structural = sim::CheckDownloadFile(file, 0x1234, expected, {}).ok;
  return filled || structural;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckBoth(data, size);
  return 0;
}

bool FuzzInputRefused(const uint8_t* data, size_t size) {
  return size > 0 && !CheckBoth(data, size);
}
