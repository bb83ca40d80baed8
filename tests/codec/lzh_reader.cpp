// Reading entries out of .lzh archives (header levels 0 and 2).
#include "lzh_reader.h"

#include <cstddef>

namespace lh5test {
namespace {

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b.at(at + static_cast<size_t>(i));
  return v;
}

std::string Text(const std::vector<uint8_t>& b, size_t from, size_t to) {
  if (to > b.size() || from > to) throw std::runtime_error("truncated archive");
  return std::string(b.begin() + static_cast<ptrdiff_t>(from),
                     b.begin() + static_cast<ptrdiff_t>(to));
}

}  // namespace

std::vector<LzhEntry> ParseLzh(const std::vector<uint8_t>& archive) {
  std::vector<LzhEntry> entries;
  size_t at = 0;
  while (at < archive.size() && archive[at] != 0) {
    LzhEntry e;
    e.method = Text(archive, at + 2, at + 7);
    const uint32_t packed = Le(archive, at + 7, 4);
    e.originalSize = Le(archive, at + 11, 4);
    const int level = archive.at(at + 20);
    size_t dataAt = 0;
    if (level == 0) {
      dataAt = at + 2 + archive[at];
      e.name = Text(archive, at + 22, at + 22 + archive.at(at + 21));
    } else if (level == 2) {
      dataAt = at + Le(archive, at, 2);
      // Extended headers: 2-byte size (0 ends the list), type, data; type 1 is the name.
      for (size_t ext = at + 24; Le(archive, ext, 2) != 0; ext += Le(archive, ext, 2)) {
        if (archive.at(ext + 2) == 0x01) e.name = Text(archive, ext + 3, ext + Le(archive, ext, 2));
      }
    } else {
      throw std::runtime_error("unsupported header level " + std::to_string(level));
    }
    if (dataAt + packed > archive.size()) throw std::runtime_error("truncated archive");
    e.data.assign(archive.begin() + static_cast<ptrdiff_t>(dataAt),
                  archive.begin() + static_cast<ptrdiff_t>(dataAt + packed));
    entries.push_back(std::move(e));
    at = dataAt + packed;
  }
  return entries;
}

}  // namespace lh5test
