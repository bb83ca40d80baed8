// Asynchronous request records: a one-shot completion guarded by a mutex, waited on with a
// condition variable.
#include <algorithm>
#include <cstring>

#include "penwick/usb_driver.hpp"

namespace pw::usb {

Request::Request(Direction direction, uint8_t endpoint, size_t length)
    : direction_(direction), endpoint_(endpoint), length_(length), payload_(length) {}

bool Request::Wait(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  if (timeout.count() <= 0) return done_;
  return done_cv_.wait_for(lock, timeout, [&] { return done_; });
}

bool Request::Done() const {
  std::lock_guard lock(mutex_);
  return done_;
}

Status Request::status() const {
  std::lock_guard lock(mutex_);
  return status_;
}

size_t Request::Transferred() const {
  std::lock_guard lock(mutex_);
  return transferred_;
}

std::span<const uint8_t> Request::Received() const {
  std::lock_guard lock(mutex_);
  if (!done_ || direction_ != Direction::In) return {};
  return std::span<const uint8_t>(payload_.data(), transferred_);
}

bool Request::Complete(Status status, size_t transferred, std::span<const uint8_t> received) {
  std::lock_guard lock(mutex_);
  if (done_) return false;
  transferred = std::min(transferred, length_);
  if (direction_ == Direction::In) {
    // Only bytes actually handed over count as received.
    transferred = std::min(transferred, received.size());
    if (transferred > 0) std::memcpy(payload_.data(), received.data(), transferred);
  }
  status_ = status == Status::Pending ? Status::IoError : status;
  transferred_ = transferred;
  done_ = true;
  done_cv_.notify_all();
  return true;
}

}  // namespace pw::usb
