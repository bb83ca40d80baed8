// Length rules of UsbWrite and UsbRead and the pair swap of swapped mode.
#include "transfer_plan.h"

#include <gtest/gtest.h>

#include <array>

namespace hvusb {
namespace {

TEST(PlanRead, AdjustsCountsNearPacketBoundaries) {
  auto p = PlanRead(12, 64);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->copyLength, 12u);
  EXPECT_EQ(p->requestLength, 64u);

  p = PlanRead(63, 64);  // 63 + 1 is a whole packet
  ASSERT_TRUE(p);
  EXPECT_EQ(p->copyLength, 65u);
  EXPECT_EQ(p->requestLength, 128u);

  p = PlanRead(64, 64);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->copyLength, 66u);
  EXPECT_EQ(p->requestLength, 128u);

  p = PlanRead(0, 64);  // 0 is a whole number of packets too
  ASSERT_TRUE(p);
  EXPECT_EQ(p->copyLength, 2u);
  EXPECT_EQ(p->requestLength, 64u);
}

TEST(PlanRead, LimitsAtTheStagingBuffer) {
  EXPECT_FALSE(PlanRead(65536, 512));  // adjusted to 65,538
  auto p = PlanRead(65537, 512);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->copyLength, 65537u);
  EXPECT_EQ(p->requestLength, 66048u);
  EXPECT_FALSE(PlanRead(0xFFFFFFFFu, 64));  // no wrap-around
  EXPECT_FALSE(PlanRead(0xFFFFFFFEu, 64));
}

TEST(PlanRead, RefusesMissingPipeAndOversizedPackets) {
  EXPECT_FALSE(PlanRead(12, 0));
  // A device may claim any packet size; the request must still fit the staging buffer.
  EXPECT_TRUE(PlanRead(12, 65535));
  EXPECT_FALSE(PlanRead(50000, 40000));  // would ask 80,000 bytes
  auto p = PlanRead(9, 1);               // odd packet size: the request is still even
  ASSERT_TRUE(p);
  EXPECT_EQ(p->copyLength, 11u);
  EXPECT_EQ(p->requestLength, 12u);
}

TEST(PlanWrite, RoundsToPacketsWithinLimits) {
  auto w = PlanWrite(9, 64, false);
  ASSERT_TRUE(w);
  EXPECT_EQ(w->requestLength, 64u);
  w = PlanWrite(65536, 512, false);
  ASSERT_TRUE(w);
  EXPECT_EQ(w->requestLength, 65536u);
  EXPECT_FALSE(PlanWrite(65537, 512, false));
  EXPECT_FALSE(PlanWrite(9, 0, false));
  EXPECT_FALSE(PlanWrite(65536, 65535, false));  // 131,070 would overrun the staging buffer
  EXPECT_TRUE(PlanWrite(0, 64, false));
}

TEST(PlanWrite, OddCountCarriesTheNextByteOutsideSwappedMode) {
  // With an odd packet size the rounding alone would drop the carried byte.
  auto w = PlanWrite(9, 9, false);
  ASSERT_TRUE(w);
  EXPECT_EQ(w->requestLength, 18u);
  w = PlanWrite(9, 9, true);
  ASSERT_TRUE(w);
  EXPECT_EQ(w->requestLength, 9u);
}

TEST(PairSwap, SwapsPairsAndTakesTheOddByteFromBeyond) {
  const std::array<uint8_t, 5> src{1, 2, 3, 4, 5};
  std::array<uint8_t, 5> dst{};
  PairSwap(dst.data(), src.data(), 4);
  EXPECT_EQ(dst, (std::array<uint8_t, 5>{2, 1, 4, 3, 0}));
  dst.fill(0);
  PairSwap(dst.data(), src.data(), 3);
  EXPECT_EQ(dst, (std::array<uint8_t, 5>{2, 1, 4, 0, 0}));
  dst.fill(9);
  PairSwap(dst.data(), src.data(), 0);
  EXPECT_EQ(dst[0], 9);
}

TEST(SwappedMode, VersionsOneDotXxOnly) {
  EXPECT_TRUE(IsSwappedVersion(0x0100));
  EXPECT_TRUE(IsSwappedVersion(0x0101));
  EXPECT_TRUE(IsSwappedVersion(0x01FF));
  EXPECT_FALSE(IsSwappedVersion(0x00FF));
  EXPECT_FALSE(IsSwappedVersion(0x0200));
  EXPECT_FALSE(IsSwappedVersion(0xFFFF));
}

}  // namespace
}  // namespace hvusb
