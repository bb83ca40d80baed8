// A minimal reader of .lzh archives as an LZH archiver writes them (header levels 0 and 2):
// enough to take the raw coded data of each entry out for decoder checks and benchmarks.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace lh5test {

struct LzhEntry {
  std::string method;  // e.g. "-lh5-"
  std::string name;
  uint32_t originalSize = 0;
  std::vector<uint8_t> data;  // the entry's packed bytes
};

// Throws std::runtime_error on a header level other than 0 or 2 or a truncated archive.
std::vector<LzhEntry> ParseLzh(const std::vector<uint8_t>& archive);

}  // namespace lh5test
