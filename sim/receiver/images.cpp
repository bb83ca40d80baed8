// Reading the images the receiver serves or expects from files.
#include "images.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace sim {

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    *error = path + ": read error";
    return false;
  }
  return true;
}

bool LoadTransferFile(const std::string& path, Images* out, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(path, &bytes, error)) return false;
  out->packed.assign(kPackedSize, 0);
  out->eeprom.assign(kEepromSize, 0);
  auto take = [&](size_t from, std::vector<uint8_t>& into) {
    if (bytes.size() <= from) return;
    const size_t n = std::min(into.size(), bytes.size() - from);
    std::copy_n(bytes.begin() + static_cast<long>(from), n, into.begin());
  };
  take(kTransferHeaderSize, out->packed);
  take(kTransferHeaderSize + kPackedSize, out->eeprom);
  return true;
}

bool LoadImageFiles(const std::string& packedPath, const std::string& eepromPath, Images* out,
                    std::string* error) {
  if (!ReadFileBytes(packedPath, &out->packed, error)) return false;
  if (out->packed.size() != kPackedSize) {
    *error = packedPath + ": " + std::to_string(out->packed.size()) +
             " bytes, a packed image has " + std::to_string(kPackedSize);
    return false;
  }
  if (!ReadFileBytes(eepromPath, &out->eeprom, error)) return false;
  if (out->eeprom.size() != kEepromSize) {
    *error = eepromPath + ": " + std::to_string(out->eeprom.size()) +
             " bytes, an EEPROM image has " + std::to_string(kEepromSize);
    return false;
  }
  return true;
}

}  // namespace sim
