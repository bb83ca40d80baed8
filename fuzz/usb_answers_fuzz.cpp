// What a receiver can answer over USB, taken apart as the USB sessions do: the bytes as
// UsbRecvFrame gets them (pair-swapped back over the count, then checked), the answer to an
// opening, and an upload's block answer judged and stored. Nothing may be read beyond the
// bytes received, nor written beyond a store. The first bytes pick the chunk asked for, the
// store and the offset.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "PenwickHelpers.h"
#include "frames.h"
#include "fuzz_target.h"
#include "usb_frames.h"
#include "usb_opening.h"
#include "usb_upload.h"

namespace {

// Takes the input apart; true when the receiver's answer was a checked frame or an opening
// answer.
bool TakeApart(const uint8_t* data, size_t size) {
  if (size < 6) return false;
  const uint32_t chunk = 1 + Get16bit(data) % transfer::kMaxUsbUploadBlock;
  const uint8_t type = data[2] % 4;  // 2 flash, 3 EEPROM, others have no store
  const uint32_t offset = Get24bit(data + 3) % (transfer::StoreCapacity(2) + 1);
  data += 6;
  size -= 6;
  if (size > 65535) return false;  // UsbRead reports at most 65535 bytes
  const auto count = static_cast<uint32_t>(size);

  // The received bytes, exactly: nothing after them is readable.
  const std::vector<uint8_t> received(data, data + size);
  const auto opening = transfer::CheckOpeningAnswer(received.data(), count);
  if (opening && (count < 43 || Get16bit(received.data() + 6) < 34)) std::abort();

  // UsbRecvFrame's buffer keeps a spare byte for the swap over an odd count.
  std::vector<uint8_t> rx(received);
  rx.push_back(0);
  transfer::PairSwap(rx.data(), count);
  std::vector<uint8_t> frame(transfer::kUsbFrameBuffer);
  const int got = transfer::ParseUsbFrame(rx.data(), count, frame.data());
  if (got == transfer::kRxFrame &&
      Get16bit(frame.data() + transfer::kUsbFrameLen) + transfer::kUsbFrameOverhead != count)
    std::abort();
  if (got != transfer::kRxFrame && got != transfer::kRxNone && got != transfer::kRxBadSum)
    std::abort();

  if (transfer::JudgeBlockAnswer(got, frame.data(), chunk) == transfer::BlockAnswer::Stored) {
    if (Get16bit(frame.data() + transfer::kUsbFrameLen) < chunk) std::abort();
    // The worker never asks past the store; the store itself must hold even if it did.
    transfer::StoreBlock(type, offset, frame.data(), chunk);
  }
  return got == transfer::kRxFrame || opening.has_value();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TakeApart(data, size);
  return 0;
}

bool FuzzInputRefused(const uint8_t* data, size_t size) {
  return !TakeApart(data, size);
}
