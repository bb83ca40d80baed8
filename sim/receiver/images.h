// The images the emulated receiver works with: the packed flash image (131072 bytes) and the
// EEPROM image (256 bytes), read from a transfer file (a 64-byte header, then both images) or
// from a packed image file and an EEPROM image file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

inline constexpr size_t kPackedSize = 131072;
inline constexpr size_t kEepromSize = 256;
inline constexpr size_t kTransferHeaderSize = 64;
inline constexpr size_t kIdentitySize = 32;

struct Images {
  std::vector<uint8_t> packed;  // kPackedSize bytes
  std::vector<uint8_t> eeprom;  // kEepromSize bytes
};

// Reads a whole file; false with the reason in `error`.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* out, std::string* error);

// Reads a transfer file the way the program does: the header is skipped, a shorter file fills
// what it has and the rest of each image stays zero, bytes after the images are ignored.
bool LoadTransferFile(const std::string& path, Images* out, std::string* error);

// A packed image file of exactly 131072 bytes and an EEPROM image file of exactly 256 bytes.
bool LoadImageFiles(const std::string& packedPath, const std::string& eepromPath, Images* out,
                    std::string* error);

}  // namespace sim
