// The receiver's USB frames in its byte order: natural for versions 0100..01FF; otherwise
// pair-swapped by its hardware, which takes an odd frame's final byte from the first padding
// byte and sends its own odd frames one payload byte longer.
#include <gtest/gtest.h>

#include "usb_frames.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(SimUsbFrames, OddFramesInEitherByteOrder) {
  // The PC's opening, 9 bytes, as a host that swaps in software writes it for a 0200 device:
  // pair-swapped, its SUM moved into the padding.
  const Bytes natural = {'H', 'a', 'V', 'o', 0, 1, 0, 0, 1};
  Bytes wire = {'a', 'H', 'o', 'V', 1, 0, 0, 0, 0, 1};
  wire.resize(64, 0xEE);
  auto rx = sim::DecodeUsbTransfer(wire, true);
  ASSERT_EQ(rx.kind, sim::UsbRx::Kind::Good);
  EXPECT_EQ(rx.frame.cmd, 1);
  EXPECT_TRUE(rx.frame.payload.empty());
  EXPECT_EQ(sim::DecodeUsbTransfer(natural, false).kind, sim::UsbRx::Kind::Good);

  // The receiver's own 9-byte frame: as it is in natural order; one byte longer, swapped.
  const sim::Frame end{3, 6, {}};
  EXPECT_EQ(sim::EncodeUsbTransfer(end, 0, false), (Bytes{'H', 'a', 'V', 'o', 3, 6, 0, 0, 9}));
  EXPECT_EQ(sim::EncodeUsbTransfer(end, 0, true),
            (Bytes{'a', 'H', 'o', 'V', 6, 3, 1, 0, 10, 0}));  // LEN 1, pad byte 0, SUM 10

  // A LEN the transfer does not hold, or no magic, is not a frame.
  EXPECT_EQ(sim::DecodeUsbTransfer(Bytes(natural.begin(), natural.end() - 1), false).kind,
            sim::UsbRx::Kind::NotAFrame);
  EXPECT_EQ(sim::DecodeUsbTransfer(wire, false).kind, sim::UsbRx::Kind::NotAFrame);
}

}  // namespace
