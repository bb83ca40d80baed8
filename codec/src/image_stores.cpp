// The image stores: copies in and out under one lock.
#include "image_stores.h"

#include <algorithm>

namespace codec {

void ImageStores::GetPacked(uint8_t* out) const {
  std::lock_guard lock(mutex_);
  std::copy(packed_.begin(), packed_.end(), out);
}

void ImageStores::PutPacked(const uint8_t* in) {
  std::lock_guard lock(mutex_);
  std::copy(in, in + packed_.size(), packed_.begin());
}

void ImageStores::GetEeprom(uint8_t* out) const {
  std::lock_guard lock(mutex_);
  std::copy(eeprom_.begin(), eeprom_.end(), out);
}

void ImageStores::PutEeprom(const uint8_t* in) {
  std::lock_guard lock(mutex_);
  std::copy(in, in + eeprom_.size(), eeprom_.begin());
}

void ImageStores::GetIdentity(uint8_t* out) const {
  std::lock_guard lock(mutex_);
  std::copy(identity_.begin(), identity_.end(), out);
}

void ImageStores::PutIdentity(const uint8_t* in) {
  std::lock_guard lock(mutex_);
  std::copy(in, in + identity_.size(), identity_.begin());
}

uint16_t ImageStores::GetSystemId() const {
  std::lock_guard lock(mutex_);
  return systemId_;
}

void ImageStores::PutSystemId(uint16_t id) {
  std::lock_guard lock(mutex_);
  systemId_ = id;
}

namespace {

template <size_t N>
void WriteInto(std::array<uint8_t, N>& image, size_t offset, const uint8_t* in, size_t length) {
  if (offset >= N) return;
  length = std::min(length, N - offset);
  std::copy(in, in + length, image.begin() + static_cast<std::ptrdiff_t>(offset));
}

}  // namespace

void ImageStores::WritePacked(size_t offset, const uint8_t* in, size_t length) {
  std::lock_guard lock(mutex_);
  WriteInto(packed_, offset, in, length);
}

void ImageStores::WriteEeprom(size_t offset, const uint8_t* in, size_t length) {
  std::lock_guard lock(mutex_);
  WriteInto(eeprom_, offset, in, length);
}

void ImageStores::ClearImages() {
  std::lock_guard lock(mutex_);
  packed_.fill(0);
  eeprom_.fill(0);
}

}  // namespace codec
