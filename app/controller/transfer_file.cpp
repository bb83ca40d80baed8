#include "transfer_file.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "image_layout.h"
#include "libraries.h"
#include "penwick/local_file.hpp"

namespace app {

TransferFileRead ReadImages(const std::string& path, size_t offset, uint8_t* packed,
                            uint8_t* eeprom) {
  const pw::files::FileStart start = pw::files::ReadFileStart(
      path, offset + codec::kContainerSize + (eeprom != nullptr ? codec::kEepromSize : 0));
  if (start.error != 0) {
    TransferFileRead read;
    read.openError = start.error;
    return read;
  }
  TransferFileRead read = ReadImageBytes(start.bytes, offset, packed, eeprom);
  read.fileSize = start.size;
  return read;
}

TransferFileRead ReadTransferFile(const std::string& path, uint8_t* packed, uint8_t* eeprom) {
  return ReadImages(path, codec::kTransferHeaderSize, packed, eeprom);
}

TransferFileRead ReadImageBytes(std::span<const uint8_t> bytes, size_t offset, uint8_t* packed,
                                uint8_t* eeprom) {
  TransferFileRead read;
  read.opened = true;
  read.fileSize = static_cast<int64_t>(bytes.size());
  std::memset(packed, 0, codec::kContainerSize);
  if (eeprom != nullptr) std::memset(eeprom, 0, codec::kEepromSize);
  const auto rest = bytes.subspan(std::min(bytes.size(), offset));
  read.packedBytes = std::min(rest.size(), codec::kContainerSize);
  std::copy_n(rest.begin(), read.packedBytes, packed);
  if (read.packedBytes > 0 && eeprom != nullptr) {
    const auto tail = rest.subspan(read.packedBytes);
    read.eepromBytes = std::min(tail.size(), codec::kEepromSize);
    std::copy_n(tail.begin(), read.eepromBytes, eeprom);
  }
  return read;
}

TransferFileProblem CheckTransferImages(const TransferFileRead& read, const uint8_t* packed,
                                        Libraries& libraries, uint8_t* scratch, uint8_t* region) {
  if (read.packedBytes < codec::kContainerSize || read.eepromBytes < codec::kEepromSize) {
    return read.fileSize == static_cast<int64_t>(codec::kSavedTransferFileSize)
               ? TransferFileProblem::SavedByUpload
               : TransferFileProblem::Incomplete;
  }
  // The unpack rewrites the container and records its identity block: it runs on a copy, and
  // a container carrying only the identity that was recorded before puts that back (that
  // second unpack finds no blocks and fails, which is its purpose).
  std::array<uint8_t, codec::kIdentitySize> identity{};
  libraries.GetModelId(identity.data());
  std::memcpy(scratch, packed, codec::kContainerSize);
  const bool unpacks = libraries.UnPackFlashData(scratch, region) == 1;
  std::memset(scratch, 0, codec::kContainerSize);
  std::memcpy(scratch, identity.data(), identity.size());
  libraries.UnPackFlashData(scratch, region);
  return unpacks ? TransferFileProblem::None : TransferFileProblem::Damaged;
}

}  // namespace app
