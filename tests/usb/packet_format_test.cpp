// The packet check's verdicts and reasons, and the percent's reset above 100.
#include "packet_format.h"

#include <gtest/gtest.h>

#include <vector>

#include "HvUsb.h"
#include "file_task.h"

namespace hvusb {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Packet(uint32_t command, size_t payloadLength) {
  Bytes p(8 + payloadLength, 0x33);
  SealPacket(p.data(), command, static_cast<uint32_t>(payloadLength));
  return p;
}

TEST(PacketCheck, ReasonsAndLimits) {
  // The smallest packet: PKT_OK alone, CRC C1 81 over 00 00 00 02.
  Bytes ok = Packet(kPktOk, 0);
  EXPECT_EQ(ok, (Bytes{0x00, 0x08, 0xC1, 0x81, 0x00, 0x00, 0x00, 0x02}));
  PacketCheck c = CheckPacket(ok.data(), 8);
  ASSERT_TRUE(c.ok);
  EXPECT_EQ(c.packet.command, kPktOk);
  EXPECT_EQ(c.packet.payloadLength, 0u);

  EXPECT_EQ(CheckPacket(ok.data(), 7).reason, kReasonLength);  // longer than what came
  EXPECT_FALSE(CheckPacket(ok.data(), 0).ok);                  // nothing came
  Bytes seven = ok;
  seven[1] = 7;
  EXPECT_EQ(CheckPacket(seven.data(), 8).reason, kReasonLength);
  Bytes damaged = ok;
  damaged[7] = 3;
  EXPECT_EQ(CheckPacket(damaged.data(), 8).reason, kReasonCrc);

  // Data must hold its offset, information its 114 bytes; one byte fewer is a bad length.
  EXPECT_TRUE(CheckPacket(Packet(kPktFileData, 8).data(), 16).ok);
  EXPECT_EQ(CheckPacket(Packet(kPktFileData, 7).data(), 15).reason, kReasonLength);
  EXPECT_TRUE(CheckPacket(Packet(kPktFileInfo, 114).data(), 122).ok);
  EXPECT_EQ(CheckPacket(Packet(kPktFileInfo, 113).data(), 121).reason, kReasonLength);
  // Bytes after the total length are not the packet's.
  Bytes padded = Packet(kPktFail, 4);
  padded.resize(64, 0xEE);
  c = CheckPacket(padded.data(), 64);
  ASSERT_TRUE(c.ok);
  EXPECT_EQ(c.packet.payloadLength, 4u);
}

TEST(TaskPercent, AboveOneHundredReadsAsZeroAndIsReset) {
  Tasks().percent.store(101);
  EXPECT_EQ(UsbTaskGetPercent(), 0);
  EXPECT_EQ(Tasks().percent.load(), 0);
  Tasks().percent.store(100);
  EXPECT_EQ(UsbTaskGetPercent(), 100);
}

}  // namespace
}  // namespace hvusb
