// The image stores through the exports.
#include <gtest/gtest.h>

#include <vector>

#include "NorraLink.h"

TEST(Stores, PutThenGetReturnsTheSameBytes) {
  std::vector<uint8_t> packed(131072), eeprom(256);
  for (size_t i = 0; i < packed.size(); ++i) packed[i] = static_cast<uint8_t>(i * 7 + 3);
  for (size_t i = 0; i < eeprom.size(); ++i) eeprom[i] = static_cast<uint8_t>(255 - i);
  Dll_PutPackedFlashData(packed.data());
  Dll_PutEepromData(eeprom.data());
  std::vector<uint8_t> packedOut(131072), eepromOut(256);
  EXPECT_EQ(Dll_GetPackedFlashData(packedOut.data()), 1);
  EXPECT_EQ(Dll_GetEepromData(eepromOut.data()), 1);
  EXPECT_EQ(packedOut, packed);
  EXPECT_EQ(eepromOut, eeprom);
}

TEST(Stores, IdentityAccessorsOfAContainer) {
  std::vector<uint8_t> container(131072, 0);
  for (int i = 0; i < 32; ++i) container[i] = static_cast<uint8_t>(0xA0 + i);
  container[5] = 0x12;
  container[6] = 0x34;
  container[32] = 0x77;  // outside the identity block
  EXPECT_EQ(Dll_GetSystemIdFromPackedFlashData(container.data()), 0x1234);
  std::vector<uint8_t> id(33, 0xEE);
  EXPECT_EQ(Dll_GetModelIdFromPackedFlashData(container.data(), id.data()), 1);
  EXPECT_TRUE(std::equal(id.begin(), id.begin() + 32, container.begin()));
  EXPECT_EQ(id[32], 0xEE);
}

TEST(Stores, IdentityStoresStartZeroed) {
  std::vector<uint8_t> id(32, 0xEE);
  EXPECT_EQ(Dll_GetModelId(id.data()), 1);
  EXPECT_EQ(id, std::vector<uint8_t>(32, 0));
  EXPECT_EQ(Dll_GetSystemId(), 0);
}
