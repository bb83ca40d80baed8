// The exported unpack through libNorraLink: its result, the identity store it fills and the
// notifications, which before any session start has recorded a window reach no window at all.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "NorraLink.h"
#include "lh5_test_writer.h"
#include "penwick/window.hpp"
#include "sample_region.h"

using namespace std::chrono_literals;

namespace {

std::vector<uint8_t> ErasedRegionWithHeader() {
  std::vector<uint8_t> region(393216, 0xFF);
  const auto sample = samples::MakeSampleRegion(2);
  std::copy(sample.begin(), sample.begin() + 2 * 8192, region.begin());
  return region;
}

}  // namespace

TEST(UnpackExport, DamagedImageBeforeAnySessionReachesNoWindowAndFails) {
  int received = 0;
  PwWindow window([&](const pw::Message&) {
    ++received;
    return intptr_t{0};
  });
  const auto region = ErasedRegionWithHeader();
  const auto identity = samples::MakeIdentity(0x0B21);
  std::vector<uint8_t> container = lh5test::MakeContainer(region, identity);

  std::vector<uint8_t> out(393216, 0);
  std::vector<uint8_t> copy = container;
  EXPECT_EQ(Dll_UnPackFlashData(copy.data(), out.data()), 1);
  EXPECT_EQ(out, region);
  std::vector<uint8_t> stored(32);
  EXPECT_EQ(Dll_GetModelId(stored.data()), 1);
  EXPECT_EQ(stored, identity);

  copy = container;
  copy[Get32bit(container.data() + lh5test::DescriptorAt(3) + 4) + 30] ^= 1;
  EXPECT_EQ(Dll_UnPackFlashData(copy.data(), out.data()), 0);
  copy = container;
  copy[3] ^= 1;  // identity check byte
  EXPECT_EQ(Dll_UnPackFlashData(copy.data(), out.data()), 0);
  window.Pump([] { return false; }, 50ms);
  EXPECT_EQ(received, 0);
}
