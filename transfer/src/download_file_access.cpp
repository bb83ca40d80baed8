#include "download_file_access.h"

#include <array>
#include <string_view>
#include <vector>

#include "NorraLink.h"
#include "download_file.h"
#include "image_layout.h"
#include "library_state.h"

namespace transfer {

// Callers find a download's leftovers by the names the public header gives.
static_assert(std::string_view(codec::kDownloadTemporarySuffix) == NL_DOWNLOAD_FILE_PART);

bool WriteDownloadFileFor(uint16_t systemId, const std::string& path) {
  std::vector<uint8_t> packed(codec::kContainerSize);
  std::array<uint8_t, codec::kEepromSize> eeprom{};
  Stores().GetPacked(packed.data());
  Stores().GetEeprom(eeprom.data());
  return codec::WriteDownloadFile(systemId, packed.data(), eeprom.data(), path);
}

void RemoveDownloadFile(const std::string& path) {
  std::remove(path.c_str());
}

bool DownloadFileReader::Open(const std::string& path) {
  path_ = path;
  file_.reset(std::fopen(path.c_str(), "rb"));
  if (!file_ || std::fseek(file_.get(), 0, SEEK_END) != 0) return false;
  const long size = std::ftell(file_.get());
  if (size <= 0) {
    file_.reset();
    return false;
  }
  size_ = size;
  return true;
}

void DownloadFileReader::Discard() {
  file_.reset();
  if (path_.empty()) return;
  RemoveDownloadFile(path_);
  path_.clear();
}

bool DownloadFileReader::Read(uint32_t offset, uint32_t length, uint8_t* out) {
  if (!file_ || static_cast<int64_t>(offset) + length > size_) return false;
  if (std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) != 0) return false;
  return std::fread(out, 1, length, file_.get()) == length;
}

}  // namespace transfer
