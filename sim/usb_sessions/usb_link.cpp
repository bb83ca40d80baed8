#include "usb_link.h"

#include <PenwickHelpers.h>

namespace sim {

bool UsbLink::Send(const Frame& frame, uint8_t sumDelta) {
  int n = 0;
  {
    std::lock_guard lock(mu_);
    if (hungUp_) return false;
    n = ++sent_;
    if (faults_.silentAfter >= 0 && n > faults_.silentAfter) {
      silent_ = true;  // the frame is not sent, and the receiver hears nothing more
      arrived_.notify_all();
      return true;
    }
  }
  device_->SendIn(EncodeUsbTransfer(frame, sumDelta, swapped_));
  if (n == faults_.hangupAfter) {
    {
      std::lock_guard lock(mu_);
      hungUp_ = true;
    }
    device_->Unplug();
  } else if (n == faults_.rebootAfter) {
    device_->Reboot();
  }
  return true;
}

Link::Rx UsbLink::Receive(Frame* out, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mu_);
  const bool woken = arrived_.wait_for(
      lock, timeout, [&] { return !received_.empty() || lost_ || silent_ || hungUp_ || closed_; });
  if (lost_ || silent_ || hungUp_ || closed_) return Rx::Closed;
  if (!woken) return Rx::Timeout;
  UsbRx rx = std::move(received_.front());
  received_.pop_front();
  inSession_ = true;
  *out = std::move(rx.frame);
  return rx.kind == UsbRx::Kind::Good ? Rx::Frame : Rx::BadSum;
}

std::vector<uint8_t> UsbLink::BlockRequestPayload(size_t length, uint32_t offset) const {
  std::vector<uint8_t> p(5);
  Put16bit(p.data(), static_cast<uint16_t>(length));
  Put24bit(p.data() + 2, offset);
  return p;
}

bool UsbLink::ParseBlockRequest(const std::vector<uint8_t>& payload, size_t* length,
                                uint32_t* offset) const {
  if (payload.size() != 5) return false;
  *length = Get16bit(payload.data());
  *offset = Get24bit(payload.data() + 2);
  return true;
}

void UsbLink::Deliver(std::span<const uint8_t> wire) {
  std::lock_guard lock(mu_);
  received_.push_back(DecodeUsbTransfer(wire, swapped_));
  arrived_.notify_all();
}

void UsbLink::Reset() {
  std::lock_guard lock(mu_);
  received_.clear();
  if (inSession_) lost_ = true;
  arrived_.notify_all();
}

void UsbLink::BeginSession() {
  std::lock_guard lock(mu_);
  // Frames already here stay: the PC's opening may come before the session is under way.
  inSession_ = false;
  lost_ = false;
}

void UsbLink::Close() {
  std::lock_guard lock(mu_);
  closed_ = true;
  arrived_.notify_all();
}

bool UsbLink::Silent() const {
  std::lock_guard lock(mu_);
  return silent_;
}

bool UsbLink::HungUp() const {
  std::lock_guard lock(mu_);
  return hungUp_;
}

}  // namespace sim
