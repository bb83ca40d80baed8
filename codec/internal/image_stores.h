// The transfer library's process-wide images: the packed image, the EEPROM image, the
// identity of the receiver (or container) last seen and its system id. Every access copies
// under the lock, so a session's worker and the caller's thread never see a torn image.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "image_layout.h"

namespace codec {

class ImageStores {
 public:
  void GetPacked(uint8_t* out) const;
  void PutPacked(const uint8_t* in);
  void GetEeprom(uint8_t* out) const;
  void PutEeprom(const uint8_t* in);
  void GetIdentity(uint8_t* out) const;
  void PutIdentity(const uint8_t* in);
  uint16_t GetSystemId() const;
  void PutSystemId(uint16_t id);
  // Copy `length` bytes into the image at `offset`; bytes past the image's end are dropped.
  void WritePacked(size_t offset, const uint8_t* in, size_t length);
  void WriteEeprom(size_t offset, const uint8_t* in, size_t length);
  // Clears the packed and EEPROM images (an upload starts).
  void ClearImages();

 private:
  mutable std::mutex mutex_;
  std::array<uint8_t, kContainerSize> packed_{};
  std::array<uint8_t, kEepromSize> eeprom_{};
  std::array<uint8_t, kIdentitySize> identity_{};
  uint16_t systemId_ = 0;
};

}  // namespace codec
