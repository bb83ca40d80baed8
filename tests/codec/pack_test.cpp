// Packing the settings region into a packed image: the container's layout, round trips
// through the unpack walk, and the regions that cannot be packed into an image that unpacks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PenwickHelpers.h"
#include "codec_hooks.h"
#include "image_stores.h"
#include "pack.h"
#include "packed_stream.h"
#include "sample_region.h"
#include "unpack.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kDesc = 64;

std::vector<std::string> g_notices;

class Pack : public ::testing::Test {
 protected:
  void SetUp() override {
    g_notices.clear();
    codec::SetNoticeHook([](const char* text) { g_notices.emplace_back(text); });
    codec::SetNotifyHook([](int code, intptr_t) { ADD_FAILURE() << "notification " << code; });
  }
  void TearDown() override {
    codec::FailPackWorkAllocationForTest(false);
    codec::SetNoticeHook(nullptr);
    codec::SetNotifyHook(nullptr);
  }

  // Packs and unpacks the region; the result must be the region itself.
  void ExpectRoundTrip(const Bytes& region) {
    Bytes container(131072, 0xEE);
    ASSERT_EQ(codec::PackFlashData(identity.data(), region.data(), container.data()), 1);
    Bytes back(393216, 0xEE);
    codec::ImageStores stores;
    EXPECT_EQ(codec::UnpackFlashData(container.data(), back.data(), stores), 1);
    EXPECT_TRUE(back == region);
  }

  // A region that must not pack: result 0, destination untouched, no notice.
  void ExpectRefused(const Bytes& region) {
    Bytes container(131072, 0xAB);
    EXPECT_EQ(codec::PackFlashData(identity.data(), region.data(), container.data()), 0);
    EXPECT_TRUE(container == Bytes(131072, 0xAB));
    EXPECT_TRUE(g_notices.empty());
  }

  Bytes identity = samples::MakeIdentity(0x1234);
};

}  // namespace

TEST_F(Pack, AllZeroRegionLayout) {
  const Bytes region(393216, 0);
  Bytes container(131072, 0xEE);
  ASSERT_EQ(codec::PackFlashData(identity.data(), region.data(), container.data()), 1);
  EXPECT_TRUE(std::equal(identity.begin(), identity.end(), container.begin()));
  for (size_t i = 32; i < 64; ++i) ASSERT_EQ(container[i], 0) << i;  // count 0, reserved

  const uint16_t rawCrc = GetCrc16(region.data(), 8192);
  size_t expectOffset = 6144;
  size_t previousEnd = 4160;
  for (size_t i = 0; i < 48; ++i) {
    const uint8_t* d = container.data() + 64 + kDesc * i;
    const uint32_t offset = Get32bit(d + 4);
    const uint32_t length = Get32bit(d + 8);
    ASSERT_EQ(offset, expectOffset) << "block " << i;
    ASSERT_GT(length, 18u);
    ASSERT_LT(length, 200u);
    EXPECT_EQ(Get16bit(d), GetCrc16(container.data() + offset, length));
    EXPECT_EQ(Get16bit(d + 2), rawCrc);
    EXPECT_EQ(Get32bit(d + 12), 8192u);
    for (size_t f = 16; f < kDesc; ++f) ASSERT_EQ(d[f], 0);
    for (size_t z = previousEnd; z < offset; ++z) ASSERT_EQ(container[z], 0) << z;
    previousEnd = offset + length;
    expectOffset = (previousEnd + 2047) / 2048 * 2048;
  }
  for (size_t z = 64 + kDesc * 48; z < 4160; ++z) ASSERT_EQ(container[z], 0) << z;
  for (size_t z = previousEnd; z < container.size(); ++z) ASSERT_EQ(container[z], 0) << z;

  Bytes back(393216, 0xEE);
  codec::ImageStores stores;
  EXPECT_EQ(codec::UnpackFlashData(container.data(), back.data(), stores), 1);
  EXPECT_TRUE(back == region);
}

TEST_F(Pack, RegionsRoundTrip) {
  for (uint32_t seed : {1u, 2u, 77u}) ExpectRoundTrip(samples::MakePackableSampleRegion(seed));
  ExpectRoundTrip(Bytes(393216, 0xFF));
  ExpectRoundTrip(Bytes(393216, 0x00));
  // Random data in the first and last blocks, each still coded below 8192 bytes.
  Bytes mixed(393216, 0xFF);
  const Bytes noise = samples::RandomBytes(7000, 5);
  std::copy(noise.begin(), noise.end(), mixed.begin());
  std::copy(noise.begin(), noise.end(), mixed.begin() + 8192 * 47 + 1000);
  ExpectRoundTrip(mixed);
  EXPECT_TRUE(g_notices.empty());
}

TEST_F(Pack, StoredBlockIsRefused) {
  // The block would be stored as an 8210-byte stream, which the unpack walk rejects.
  Bytes region = samples::MakePackableSampleRegion(6);
  const Bytes noise = samples::RandomBytes(8192, 6);
  std::copy(noise.begin(), noise.end(), region.begin() + 8192 * 20);
  ExpectRefused(region);
  // Coded, but into a stream of 8193 to 8209 bytes: random bytes, then erased flash.
  uint8_t* block = region.data() + 8192 * 20;
  uint32_t length = 0;
  Bytes stream(9000);
  for (size_t n = 8192; n > 7000 && (length <= 8192 || length >= 8210); n -= 4) {
    std::fill(block + n, block + 8192, 0xFF);
    ASSERT_EQ(codec::PackHvp(block, 8192, stream.data(), stream.size(), &length), 1);
  }
  ASSERT_GT(length, 8192u);
  ASSERT_LT(length, 8210u);
  ExpectRefused(region);
}

TEST_F(Pack, StreamsThatDoNotFitAreRefused) {
  // The full sample region's streams need about 150 KB on 2048-byte boundaries.
  ExpectRefused(samples::MakeSampleRegion(1));
}

TEST_F(Pack, NoMemoryShowsTheNoticeAndChangesNothing) {
  codec::FailPackWorkAllocationForTest(true);
  const Bytes region(393216, 0);
  Bytes container(131072, 0xAB);
  EXPECT_EQ(codec::PackFlashData(identity.data(), region.data(), container.data()), 0);
  EXPECT_TRUE(container == Bytes(131072, 0xAB));
  uint32_t length = 99;
  EXPECT_EQ(codec::PackHvp(region.data(), 100, container.data(), 200, &length), 0);
  EXPECT_EQ(length, 99u);
  EXPECT_EQ(g_notices, std::vector<std::string>(2, "DLL : PackHvp() : Insufficient memory"));
}
