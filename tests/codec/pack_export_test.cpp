// The exported pack through libNorraLink: the identity block comes from the identity store
// (here filled by unpacking a container), and a refused region leaves the destination alone.
#include <gtest/gtest.h>

#include <vector>

#include "NorraLink.h"
#include "lh5_test_writer.h"
#include "sample_region.h"

namespace {

using Bytes = std::vector<uint8_t>;

}  // namespace

TEST(PackExport, CarriesTheStoredIdentityAndUnpacksAgain) {
  const Bytes identity = samples::MakeIdentity(0x4321, 0x11);
  Bytes seen = lh5test::MakeContainer(Bytes(393216, 0xFF), identity);
  Bytes scratch(393216);
  ASSERT_EQ(Dll_UnPackFlashData(seen.data(), scratch.data()), 1);  // fills the identity store

  const Bytes region = samples::MakePackableSampleRegion(21);
  Bytes container(131072, 0xEE);
  ASSERT_EQ(Dll_PackFlashData(region.data(), container.data()), 1);
  EXPECT_TRUE(std::equal(identity.begin(), identity.end(), container.begin()));
  EXPECT_EQ(Dll_GetSystemIdFromPackedFlashData(container.data()), 0x4321);

  Bytes copy = container;
  Bytes back(393216, 0);
  EXPECT_EQ(Dll_UnPackFlashData(copy.data(), back.data()), 1);
  EXPECT_TRUE(back == region);

  // Packing is deterministic: the same region gives the same image.
  Bytes again(131072, 0);
  ASSERT_EQ(Dll_PackFlashData(region.data(), again.data()), 1);
  EXPECT_TRUE(again == container);
}

TEST(PackExport, RefusedRegionLeavesTheDestination) {
  Bytes region(393216, 0xFF);
  const Bytes noise = samples::RandomBytes(8192, 3);
  std::copy(noise.begin(), noise.end(), region.begin() + 8192 * 7);
  Bytes container(131072, 0x5C);
  EXPECT_EQ(Dll_PackFlashData(region.data(), container.data()), 0);
  EXPECT_TRUE(container == Bytes(131072, 0x5C));
}
