// Sizes of the images and files the controller handles.
#pragma once

#include <cstddef>

namespace app {

inline constexpr size_t kPackedSize = 131072;  // packed flash image
inline constexpr size_t kRegionSize = 393216;  // plain flash region
inline constexpr size_t kEepromSize = 256;     // EEPROM image
inline constexpr size_t kModelIdSize = 32;     // identity block
inline constexpr size_t kTransferHeaderSize = 64;
// A transfer file as the starting program writes it: header, packed image, EEPROM image.
inline constexpr size_t kTransferFileSize = kTransferHeaderSize + kPackedSize + kEepromSize;
// A transfer file as a USB upload saves it: no header.
inline constexpr size_t kSavedTransferFileSize = kPackedSize + kEepromSize;

}  // namespace app
