// UsbWrite and UsbRead over the scripted fake driver: lengths on the wire, swapped mode, the
// odd byte, replies at once, late, refused, empty or never.
#include <chrono>
#include <numeric>

#include "fake_receiver.h"

namespace hvusb_test {
namespace {

using pw::usb::FakeBackend;
using Clock = std::chrono::steady_clock;

class BulkIo : public FakeReceiver {};

TEST_F(BulkIo, NothingWithoutADevice) {
  uint8_t buffer[16] = {};
  EXPECT_EQ(UsbWrite(buffer, 4), 0u);
  EXPECT_EQ(UsbRead(buffer, 4), 0u);
}

TEST_F(BulkIo, ReadLengthAdjustment) {
  ASSERT_EQ(AttachReceiver(64), 1);
  std::vector<uint8_t> buffer(200, 0xEE);
  Bytes reply(12);
  std::iota(reply.begin(), reply.end(), uint8_t{1});
  ScriptReply(reply);
  EXPECT_EQ(UsbRead(buffer.data(), 12), 12u);
  EXPECT_EQ(buffer[11], 12);
  EXPECT_EQ(buffer[12], 0xEE);  // 12 bytes copied, not more

  ScriptReply(Bytes(63, 7));
  EXPECT_EQ(UsbRead(buffer.data(), 63), 63u);
  EXPECT_EQ(buffer[64], 0);  // the adjusted 65 bytes were copied (zeroed staging)
  EXPECT_EQ(buffer[65], 0xEE);

  ScriptReply(Bytes(64, 7));
  EXPECT_EQ(UsbRead(buffer.data(), 64), 64u);
  EXPECT_EQ(buffer[65], 0);
  EXPECT_EQ(buffer[66], 0xEE);
  EXPECT_EQ(fake->ReadLengths(kPath, kInEp), (std::vector<size_t>{64, 128, 128}));
}

TEST_F(BulkIo, ReadLimitsWith512BytePackets) {
  ASSERT_EQ(AttachReceiver(512), 1);
  std::vector<uint8_t> buffer(65540);
  EXPECT_EQ(UsbRead(buffer.data(), 65536), 0u);
  EXPECT_TRUE(fake->ReadLengths(kPath, kInEp).empty());  // refused before any request
  ScriptReply(Bytes(66048, 5));
  // The device sent more than the caller's count: only the copied bytes are reported.
  EXPECT_EQ(UsbRead(buffer.data(), 65537), 65535u);
  EXPECT_EQ(fake->ReadLengths(kPath, kInEp), (std::vector<size_t>{66048}));
  EXPECT_EQ(UsbRead(nullptr, 12), 0u);
}

TEST_F(BulkIo, ReportsNoMoreThanCopied) {
  ASSERT_EQ(AttachReceiver(64), 1);
  std::vector<uint8_t> buffer(64);
  ScriptReply(Bytes(40, 3));  // the request asks 64 bytes for 12
  EXPECT_EQ(UsbRead(buffer.data(), 12), 12u);
}

TEST_F(BulkIo, WriteLimitsAndPadding) {
  ASSERT_EQ(AttachReceiver(64), 1);
  std::vector<uint8_t> big(65537, 0x11);
  EXPECT_EQ(UsbWrite(big.data(), 65537), 0u);
  EXPECT_EQ(UsbWrite(big.data(), 65536), 1u);
  EXPECT_EQ(UsbWrite(nullptr, 4), 0u);
  const uint8_t frame[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0x5A};
  EXPECT_EQ(UsbWrite(frame, 9), 1u);
  const auto written = fake->Written(kPath, kOutEp);
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(written[0].size(), 65536u);
  ASSERT_EQ(written[1].size(), 64u);
  EXPECT_EQ(written[1][8], 9);
  // Outside swapped mode the byte after an odd count is the first padding byte; the rest of
  // the padding is what the staging buffer held before (here the 65,536-byte frame).
  EXPECT_EQ(written[1][9], 0x5A);
  EXPECT_EQ(written[1][10], 0x11);
}

TEST_F(BulkIo, SwappedModeForVersionsOneDotXx) {
  for (uint16_t version :
       {uint16_t{0x0100}, uint16_t{0x01FF}, uint16_t{0x00FF}, uint16_t{0x0200}}) {
    SCOPED_TRACE(version);
    const bool swapped = version >= 0x0100 && version <= 0x01FF;
    ASSERT_EQ(AttachReceiver(64, version), 1);
    const uint8_t frame[5] = {1, 2, 3, 4, 9};
    ASSERT_EQ(UsbWrite(frame, 4), 1u);
    const Bytes wire = fake->Written(kPath, kOutEp).back();
    EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 4),
              swapped ? (Bytes{2, 1, 4, 3}) : (Bytes{1, 2, 3, 4}));
    ASSERT_EQ(UsbWrite(frame, 3), 1u);  // odd: the byte after the count is read in both modes
    const Bytes odd = fake->Written(kPath, kOutEp).back();
    if (swapped) {
      EXPECT_EQ(Bytes(odd.begin(), odd.begin() + 3), (Bytes{2, 1, 4}));
    } else {
      EXPECT_EQ(Bytes(odd.begin(), odd.begin() + 4), (Bytes{1, 2, 3, 4}));
    }

    ScriptReply({2, 1, 4, 3});
    uint8_t buffer[8] = {};
    EXPECT_EQ(UsbRead(buffer, 4), 4u);
    EXPECT_EQ(Bytes(buffer, buffer + 4), swapped ? (Bytes{1, 2, 3, 4}) : (Bytes{2, 1, 4, 3}));
    DeviceRemoval(nullptr);
    fake->RemoveDevice(kPath, false);
  }
}

TEST_F(BulkIo, ZeroLengthReplyGivesZero) {
  ASSERT_EQ(AttachReceiver(64), 1);
  uint8_t buffer[16];
  ScriptReply({});
  EXPECT_EQ(UsbRead(buffer, 12), 0u);
  ScriptReply({}, FakeBackend::Timing::Immediate);
  EXPECT_EQ(UsbRead(buffer, 12), 0u);
}

TEST_F(BulkIo, ImmediateCompletionIsDoneAndImmediateRefusalFailsAtOnce) {
  ASSERT_EQ(AttachReceiver(64), 1);
  pw::usb::SetTimeoutPermille(1000);  // a refusal must not wait out the 8 s
  uint8_t buffer[16] = {};
  ScriptReply({9, 8, 7}, FakeBackend::Timing::Immediate);
  EXPECT_EQ(UsbRead(buffer, 3), 3u);
  EXPECT_EQ(buffer[0], 9);

  const auto start = Clock::now();
  ScriptReply({}, FakeBackend::Timing::Immediate, pw::usb::Status::Stall);
  EXPECT_EQ(UsbRead(buffer, 3), 0u);
  FakeBackend::Reply refused;
  refused.timing = FakeBackend::Timing::Immediate;
  refused.status = pw::usb::Status::Stall;
  fake->ScriptWrite(kPath, kOutEp, refused);
  EXPECT_EQ(UsbWrite(buffer, 4), 0u);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(4));
}

TEST_F(BulkIo, ShortWriteFails) {
  ASSERT_EQ(AttachReceiver(64), 1);
  FakeBackend::Reply partial;
  partial.data.resize(32);  // the device accepts 32 of 64 bytes
  fake->ScriptWrite(kPath, kOutEp, partial);
  const uint8_t frame[9] = {};
  EXPECT_EQ(UsbWrite(frame, 8), 0u);
}

TEST_F(BulkIo, SilentReceiverTimesOutAndTheRequestIsCancelled) {
  ASSERT_EQ(AttachReceiver(64), 1);
  uint8_t buffer[16];
  const auto start = Clock::now();
  EXPECT_EQ(UsbRead(buffer, 12), 0u);  // 8 s shortened to 200 ms
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(150));
  EXPECT_EQ(fake->CancelCount(kPath), 1);
  EXPECT_EQ(fake->PendingCount(kPath), 0u);
  // A late answer to the cancelled request never reaches the next read.
  EXPECT_FALSE(fake->DeliverPending(kPath, kInEp, {1, 2, 3}));
  ScriptReply({4, 5, 6});
  EXPECT_EQ(UsbRead(buffer, 3), 3u);
  EXPECT_EQ(buffer[0], 4);
}

}  // namespace
}  // namespace hvusb_test
