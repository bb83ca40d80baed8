#include "transfer_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "image_layout.h"
#include "libraries.h"

namespace app {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

size_t ReadUpTo(std::FILE* file, uint8_t* into, size_t count) {
  size_t total = 0;
  while (total < count) {
    const size_t got = std::fread(into + total, 1, count - total, file);
    if (got == 0) break;
    total += got;
  }
  return total;
}

}  // namespace

TransferFileRead ReadImages(const std::string& path, size_t offset, uint8_t* packed,
                            uint8_t* eeprom) {
  TransferFileRead read;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    read.openError = errno;
    return read;
  }
  struct stat info {};
  const bool known = fstat(fileno(file.get()), &info) == 0;
  // A folder opens for reading here, but it is not a file to read.
  if (known && S_ISDIR(info.st_mode)) {
    read.openError = EISDIR;
    return read;
  }
  std::vector<uint8_t> bytes(offset + codec::kContainerSize +
                             (eeprom != nullptr ? codec::kEepromSize : 0));
  // A stream that cannot seek (a pipe) gives no images.
  size_t got = 0;
  if (std::fseek(file.get(), 0, SEEK_SET) == 0)
    got = ReadUpTo(file.get(), bytes.data(), bytes.size());
  read = ReadImageBytes(std::span<const uint8_t>(bytes.data(), got), offset, packed, eeprom);
  read.fileSize = known && S_ISREG(info.st_mode) ? info.st_size : -1;
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
