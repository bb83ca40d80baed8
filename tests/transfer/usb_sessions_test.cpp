// The USB sessions end to end against the emulated receiver (penwick-sim usb --mode ...) over
// USB/IP on loopback: both byte orders and both packet sizes, then the receiver's faults.
#include <gtest/gtest.h>

#include <tuple>

#include "HvUsb.h"
#include "NorraLink.h"
#include "sim_process.h"
#include "usb_fixture.h"

using namespace std::chrono_literals;

namespace testpeer {
namespace {

// Device version (0100: the host swaps, 0200: the receiver's hardware swaps) and packet size.
class UsbSessionsEveryWire : public UsbSessionTest,
                             public ::testing::WithParamInterface<std::tuple<std::string, int>> {
 protected:
  std::vector<std::string> Wire(std::vector<std::string> options) {
    options.insert(options.end(), {"--bcd-device", std::get<0>(GetParam()), "--max-packet",
                                   std::to_string(std::get<1>(GetParam()))});
    return options;
  }
};

TEST_P(UsbSessionsEveryWire, DownloadInReceiverChosenBlocksThenUploadOfBothImages) {
  // Small, odd and the largest servable blocks, shuffled; the receiver verifies the file.
  Dll_PutPackedFlashData(packed.data());
  Dll_PutEepromData(eeprom.data());
  ASSERT_TRUE(Start(Wire({"--mode", "download", "--system-id", "0x4321", "--block-size",
                          "1,777,65527,3", "--order", "shuffled"})));
  EXPECT_EQ(Download(), 259);
  EXPECT_TRUE(ReceiverEnded(true));
  EXPECT_EQ(Dll_GetSystemId(), 0x4321);
  const auto percents = notes.Values(4006);
  ASSERT_FALSE(percents.empty());
  EXPECT_EQ(percents.back(), 100);
  for (size_t i = 0; i + 1 < percents.size(); ++i) EXPECT_LT(percents[i], 100);
  EXPECT_EQ(Dll_GetPercent(1), 100);

  // The flash image in blocks of 65280, 65280 and 512 bytes (the receiver checks the lengths),
  // then the EEPROM image; the stores end up equal to the receiver's images.
  ASSERT_TRUE(Start(Wire({"--mode", "upload"})));
  EXPECT_EQ(Upload(), 257);
  EXPECT_TRUE(ReceiverEnded(true));
  EXPECT_EQ(StoredPacked(), packed);
  EXPECT_EQ(StoredEeprom(), eeprom);
  EXPECT_EQ(notes.Values(4004), (std::vector<intptr_t>{49, 99, 100}));
  EXPECT_EQ(notes.Values(4005), (std::vector<intptr_t>{100}));
}

INSTANTIATE_TEST_SUITE_P(Wires, UsbSessionsEveryWire,
                         ::testing::Combine(::testing::Values(std::string("0100"),
                                                              std::string("0200")),
                                            ::testing::Values(64, 512)),
                         [](const auto& wire) {
                           return std::string("version") + std::get<0>(wire.param) + "_packet" +
                                  std::to_string(std::get<1>(wire.param));
                         });

}  // namespace
}  // namespace testpeer
