// Sizes and offsets of the packed flash image, its packed streams, the download file and the
// transfer file.
// All multi-byte fields are big-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace codec {

inline constexpr size_t kRegionSize = 393216;  // plain settings flash
inline constexpr size_t kBlockSize = 8192;     // one flash block
inline constexpr size_t kRegionBlocks = 48;
inline constexpr size_t kContainerSize = 131072;  // packed flash image
inline constexpr size_t kEepromSize = 256;
inline constexpr size_t kIdentitySize = 32;

// Container.
inline constexpr size_t kBlockCountOffset = 32;
inline constexpr size_t kDescriptorTableOffset = 64;
inline constexpr size_t kDescriptorSize = 64;
inline constexpr size_t kDescriptorCount = 64;
inline constexpr size_t kDataAreaOffset = 4160;
inline constexpr size_t kStreamAlignment = 2048;

// Descriptor fields.
inline constexpr size_t kDescPackedCrc = 0;
inline constexpr size_t kDescRawCrc = 2;
inline constexpr size_t kDescOffset = 4;
inline constexpr size_t kDescPackedLength = 8;
inline constexpr size_t kDescRawLength = 12;
inline constexpr size_t kDescReserved = 16;

// Identity block.
inline constexpr size_t kIdentityCheckByte = 3;
inline constexpr size_t kIdentitySystemId = 5;

// Packed stream.
inline constexpr size_t kStreamHeaderSize = 10;
inline constexpr size_t kChunkHeaderSize = 8;
inline constexpr size_t kChunkMaxRaw = 32762;
inline constexpr uint16_t kBlockStreamTag = 0xFFFF;
inline constexpr uint16_t kBlockChunkType = 0xFFFF;

// Download file.
inline constexpr uint16_t kFlashSectionType = 2;
inline constexpr uint16_t kEepromSectionType = 3;
inline constexpr size_t kDownloadChunkCount = 6;

// Transfer file: a 64-byte header, the packed image, the EEPROM image.
inline constexpr size_t kTransferHeaderSize = 64;
inline constexpr size_t kTransferFileSize = kTransferHeaderSize + kContainerSize + kEepromSize;
// A transfer file as a USB upload saves it: the two images without the header.
inline constexpr size_t kSavedTransferFileSize = kContainerSize + kEepromSize;

}  // namespace codec
