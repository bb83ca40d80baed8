// The unpack walk: identity check, descriptors, damaged images and what they leave behind.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "PenwickHelpers.h"
#include "codec_hooks.h"
#include "lh5_test_writer.h"
#include "sample_region.h"
#include "unpack.h"

using lh5test::DescriptorAt;

namespace {

std::vector<int> g_notified;

class Unpack : public ::testing::Test {
 protected:
  void SetUp() override {
    g_notified.clear();
    codec::SetNotifyHook([](int code, intptr_t value) {
      EXPECT_EQ(value, 0);
      g_notified.push_back(code);
    });
  }
  void TearDown() override { codec::SetNotifyHook(nullptr); }

  // Unpacks a copy of `container` into a region prefilled with 0xEE.
  int Run(std::vector<uint8_t> container) {
    unpacked = container;
    region.assign(393216, 0xEE);
    return codec::UnpackFlashData(unpacked.data(), region.data(), stores);
  }

  uint32_t HostField(size_t descriptor, size_t field) const {
    uint32_t v;
    std::memcpy(&v, unpacked.data() + DescriptorAt(descriptor) + field, 4);
    return v;
  }

  // Replaces block i's stream by `stream` (same offset) and fixes its descriptor.
  static void ReplaceStream(std::vector<uint8_t>& container, size_t i,
                            const std::vector<uint8_t>& stream) {
    const size_t d = DescriptorAt(i);
    const uint32_t offset = Get32bit(container.data() + d + 4);
    std::copy(stream.begin(), stream.end(), container.begin() + offset);
    Put16bit(container.data() + d, GetCrc16(stream.data(), static_cast<uint32_t>(stream.size())));
    Put32bit(container.data() + d + 8, static_cast<uint32_t>(stream.size()));
  }

  bool RegionPrefixMatches(size_t blocks) const {
    return std::equal(region.begin(), region.begin() + static_cast<ptrdiff_t>(blocks * 8192),
                      sample.begin());
  }
  bool RegionUntouchedFrom(size_t block) const {
    return std::all_of(region.begin() + static_cast<ptrdiff_t>(block * 8192), region.end(),
                       [](uint8_t b) { return b == 0xEE; });
  }

  // The sample region with channel blocks 12 to 25 erased: the full one holds more than a
  // container takes once each stream starts on a 2048-byte boundary.
  static std::vector<uint8_t> PackableRegion() {
    std::vector<uint8_t> r = samples::MakeSampleRegion(11);
    std::fill(r.begin() + 12 * 8192, r.begin() + 26 * 8192, 0xFF);
    return r;
  }

  const std::vector<uint8_t> sample = PackableRegion();
  const std::vector<uint8_t> identity = samples::MakeIdentity(0x1234);
  const std::vector<uint8_t> good = lh5test::MakeContainer(sample, identity);
  codec::ImageStores stores;
  std::vector<uint8_t> unpacked, region;
};

}  // namespace

TEST_F(Unpack, IdentityCheckByte) {
  std::vector<uint8_t> container = good;
  std::fill(container.begin(), container.begin() + 32, 0);
  EXPECT_EQ(Run(container), 0);
  EXPECT_EQ(g_notified, std::vector<int>{19});
  EXPECT_TRUE(RegionUntouchedFrom(0));
  std::vector<uint8_t> stored(32, 0x77);
  stores.GetIdentity(stored.data());
  EXPECT_EQ(stored, std::vector<uint8_t>(32, 0));  // written although the check failed

  container[3] = 0xFF;  // NOT of the zero sum
  g_notified.clear();
  EXPECT_EQ(codec::UnpackFlash_ParsingFlashHeader(container.data(), stores), 1);
  EXPECT_TRUE(g_notified.empty());
}

TEST_F(Unpack, RealisticContainerUnpacksAndTheEmptyTailIsCleared) {
  ASSERT_EQ(Get16bit(good.data() + 32), 0);  // count 0: 64 descriptors
  EXPECT_EQ(Run(good), 1);
  EXPECT_TRUE(g_notified.empty());
  EXPECT_EQ(region, sample);
  std::vector<uint8_t> stored(32);
  stores.GetIdentity(stored.data());
  EXPECT_EQ(stored, identity);
  // Descriptors now in host order; 48 to 63 cleared with raw length 8192.
  EXPECT_EQ(HostField(0, 4), 6144u);
  EXPECT_EQ(HostField(47, 12), 8192u);
  for (size_t i = 48; i < 64; ++i) {
    std::vector<uint8_t> expected(64, 0);
    const uint32_t raw = 8192;
    std::memcpy(expected.data() + 12, &raw, 4);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), unpacked.begin() + DescriptorAt(i)))
        << "descriptor " << i;
  }
}

TEST_F(Unpack, BlockCountAbove64IsTakenAs64AndTheTailStaysSkipped) {
  std::vector<uint8_t> container = good;
  Put16bit(container.data() + 32, 300);
  Put32bit(container.data() + DescriptorAt(50) + 8, 9000);  // out of bounds: skipped
  EXPECT_EQ(Run(container), 1);
  EXPECT_EQ(region, sample);
  // Nothing past the 64 descriptors was rewritten.
  EXPECT_TRUE(std::equal(unpacked.begin() + 4160, unpacked.end(), container.begin() + 4160));
}

TEST_F(Unpack, ChangedByteInBlock5StopsWithEarlierBlocksExpanded) {
  std::vector<uint8_t> container = good;
  container[Get32bit(good.data() + DescriptorAt(5) + 4) + 20] ^= 0x40;
  EXPECT_EQ(Run(container), 0);
  EXPECT_EQ(g_notified, std::vector<int>{16});
  EXPECT_TRUE(RegionPrefixMatches(5));
  EXPECT_TRUE(RegionUntouchedFrom(5));
  EXPECT_EQ(HostField(5, 4), 0u);  // cleared
  EXPECT_EQ(HostField(5, 12), 8192u);
}

// Every damaged shape ends the same way: notification 16, result 0, block 5 and later not
// written, blocks before it expanded.
TEST_F(Unpack, DamagedBlocksAreReportedInsteadOfLeavingHolesOrShifts) {
  const std::vector<uint8_t> block5(sample.begin() + 5 * 8192, sample.begin() + 6 * 8192);
  const auto coded5 = lh5test::TestEncode(block5.data(), block5.size());
  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> damage;
  };
  const Case cases[] = {
      {"packed length 0 (rejected below block 48)",
       [](auto& c) { Put32bit(c.data() + DescriptorAt(5) + 8, 0); }},
      {"stored block of 8210 bytes (rejected)",
       [](auto& c) { Put32bit(c.data() + DescriptorAt(5) + 8, 8210); }},
      {"offset past the container",
       [](auto& c) { Put32bit(c.data() + DescriptorAt(5) + 4, 131072); }},
      {"stream reaching past the container",
       [](auto& c) {
         std::fill(c.begin() + 131072 - 100, c.end(), 0);
         Put32bit(c.data() + DescriptorAt(5) + 4, 131072 - 100);
         Put16bit(c.data() + DescriptorAt(5), GetCrc16(c.data() + 131072 - 100, 100));
         Put32bit(c.data() + DescriptorAt(5) + 8, 200);
       }},
      {"stream before the end of the previous one",
       [](auto& c) {
         // Block 4's own stream again: its CRC matches, only the order is wrong.
         std::copy_n(c.begin() + DescriptorAt(4), 12, c.begin() + DescriptorAt(5));
       }},
      {"stream header refused",
       [&](auto& c) {
         auto s = lh5test::MakeStream({{8192, coded5}});
         s[5] = 0xFE;  // tag
         ReplaceStream(c, 5, s);
       }},
      {"chunk type refused",
       [&](auto& c) {
         auto s = lh5test::MakeStream({{8192, coded5}});
         s[15] = 0x02;
         ReplaceStream(c, 5, s);
       }},
      {"chunk walking past the stream",
       [&](auto& c) {
         auto s = lh5test::MakeStream({{8192, coded5}});
         s[9] = 2;  // two chunks, only one present
         ReplaceStream(c, 5, s);
       }},
      {"code table that cannot be built",
       [&](auto& c) {
         std::vector<uint8_t> bad(40, 0xFF);  // code-length count 31
         ReplaceStream(c, 5, lh5test::MakeStream({{8192, bad}}));
       }},
      {"stream shorter than its raw length",
       [&](auto& c) {
         ReplaceStream(c, 5,
                       lh5test::MakeStream({{8000, lh5test::TestEncode(block5.data(), 8000)}}));
       }},
      {"stream longer than its raw length",
       [&](auto& c) {
         auto more = block5;
         more.resize(9000, 0xFF);
         ReplaceStream(c, 5, lh5test::MakeStream({{9000, lh5test::TestEncode(more.data(), 9000)}}));
       }},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> container = good;
    c.damage(container);
    g_notified.clear();
    EXPECT_EQ(Run(container), 0) << c.name;
    EXPECT_EQ(g_notified, std::vector<int>{16}) << c.name;
    EXPECT_TRUE(RegionPrefixMatches(5)) << c.name;
    EXPECT_EQ(HostField(5, 8), 0u) << c.name;  // descriptor 5 cleared
    EXPECT_EQ(HostField(5, 12), 8192u) << c.name;
  }
}

TEST_F(Unpack, BlockCountBelowTheRegionIsDamaged) {
  std::vector<uint8_t> container = good;
  Put16bit(container.data() + 32, 10);
  EXPECT_EQ(Run(container), 0);
  EXPECT_EQ(g_notified, std::vector<int>{16});
  EXPECT_TRUE(RegionPrefixMatches(10));
}

TEST_F(Unpack, RawLengthsDecideTheOutputPositionsAndStayInsideTheRegion) {
  // Block 0 claims 65536 raw bytes and holds them: the later blocks would run past the region.
  std::vector<uint8_t> container = good;
  std::vector<uint8_t> big(65536, 0x33);
  const auto stream = lh5test::MakeStream({{32768, lh5test::TestEncode(big.data(), 32768)},
                                           {32768, lh5test::TestEncode(big.data(), 32768)}});
  ASSERT_LT(stream.size(), 6144u);
  // Move it to the front of the data area (before block 0's stream at 6144).
  std::copy(stream.begin(), stream.end(), container.begin() + 4160);
  Put32bit(container.data() + DescriptorAt(0) + 4, 4160);
  Put32bit(container.data() + DescriptorAt(0) + 8, static_cast<uint32_t>(stream.size()));
  Put32bit(container.data() + DescriptorAt(0) + 12, 65536);
  Put16bit(container.data() + DescriptorAt(0),
           GetCrc16(stream.data(), static_cast<uint32_t>(stream.size())));
  EXPECT_EQ(Run(container), 0);  // the walk reaches 392192 before block 47
  EXPECT_EQ(g_notified, std::vector<int>{16});
  EXPECT_TRUE(
      std::all_of(region.begin(), region.begin() + 65536, [](uint8_t b) { return b == 0x33; }));
}

TEST(UnpackHvp, BoundsItselfByStreamAndCapacity) {
  const std::vector<uint8_t> raw(3000, 'z');
  const auto coded = lh5test::TestEncode(raw.data(), raw.size());
  const auto stream = lh5test::MakeStream({{3000, coded}, {5, {'h', 'e', 'l', 'l', 'o'}}});
  std::vector<uint8_t> out(3100, 0xA5);
  EXPECT_EQ(codec::UnpackHvp(stream.data(), stream.size(), out.data(), 3005), 3005u);
  EXPECT_TRUE(std::equal(raw.begin(), raw.end(), out.begin()));
  EXPECT_EQ(std::string(out.begin() + 3000, out.begin() + 3005), "hello");
  EXPECT_EQ(out[3005], 0xA5);

  out.assign(3100, 0xA5);
  EXPECT_EQ(codec::UnpackHvp(stream.data(), stream.size(), out.data(), 3004), 0u);
  EXPECT_TRUE(std::all_of(out.begin() + 3000, out.end(), [](uint8_t b) { return b == 0xA5; }));
  EXPECT_EQ(codec::UnpackHvp(stream.data(), stream.size() - 1, out.data(), 4000), 0u);
  EXPECT_EQ(codec::UnpackHvp(stream.data(), 9, out.data(), 4000), 0u);
}
