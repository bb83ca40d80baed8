// The service panel's file commands: the files they save and their messages.
#include "NorraLink.h"
#include "control_ids.h"
#include "controller_fixture.h"
#include "penwick/message_box.hpp"

namespace apptest {
namespace {

std::string ModelIdEntry(unsigned systemId, const std::vector<uint8_t>& id) {
  std::string entry = "ViewModelId() SystemId " + std::to_string(systemId) + " ModeId : ";
  char hex[4];
  for (uint8_t byte : id) {
    std::snprintf(hex, sizeof hex, " %02X", byte);
    entry += hex;
  }
  return entry;
}

TEST_F(ControllerTest, FileCommandsSaveTheirFilesInTheWorkFolder) {
  auto& c = Start({});
  // Nothing known yet: an all-zero identity of system id 0.
  SetLibraryIdentity(std::vector<uint8_t>(32, 0));
  c.OnViewModelId();
  EXPECT_EQ(view.Entries().back(), ModelIdEntry(0, std::vector<uint8_t>(32, 0)));
  EXPECT_EQ(view.Entries()[view.Entries().size() - 2],
            "Get Model ID From STB ===================================");

  const Images images = MakeImages(14, 0xBEEF);
  WriteAll(dir / "image.pak", images.packed);
  const std::vector<uint8_t> eeprom(codec::kEepromSize, 0x42);
  Dll_PutEepromData(eeprom.data());
  c.OnGeteepromdata();
  EXPECT_EQ(view.Entries().back(), "OnGeteepromdata() : Eeprom File Save Ok");
  EXPECT_EQ(ReadAll(dir / "~EepromData.bin"), eeprom);

  view.fileToOpen = (dir / "image.pak").string();
  c.OnFileOpen();
  EXPECT_EQ(view.Entries().back(), "Packed File Open Success");
  EXPECT_TRUE(c.state().fileLoaded);
  EXPECT_EQ(Vec(c.state().eeprom), eeprom);

  c.OnViewSystemId();
  EXPECT_EQ(view.Entries().back(), "System ID from PackedFlash Data: 48879");
  c.OnViewModelId();
  EXPECT_EQ(view.Entries().back(),
            ModelIdEntry(0xBEEF,
                         std::vector<uint8_t>(images.packed.begin(), images.packed.begin() + 32)));

  // Unpacked twice: the same file both times, the loaded image untouched.
  c.OnUnpackFlashdata();
  EXPECT_EQ(view.Entries().back(), "UnPackedFlash File Save Ok");
  const auto first = ReadAll(dir / "~Pack2UnPack_UnPackedFlashData.upk");
  c.OnUnpackFlashdata();
  EXPECT_EQ(ReadAll(dir / "~Pack2UnPack_UnPackedFlashData.upk"), first);
  EXPECT_EQ(first, images.region);
  EXPECT_EQ(view.enabled[app::kPackFlash], true);

  c.OnPackFlashData();
  EXPECT_EQ(view.Entries().back(), "PackedFlash File Save Success");
  EXPECT_EQ(ReadAll(dir / "~UnPack2Pack_PackedFlashData.pak").size(), codec::kContainerSize);

  c.OnGetPackedFlashData();
  EXPECT_EQ(view.Entries().back(), "OnPackflashdata() : PackedFlash File Save Ok");
  EXPECT_EQ(ReadAll(dir / "~Dll2Pack_PackedFlashData.pak"), LibraryPacked());
}

TEST_F(ControllerTest, FileCommandFailures) {
  auto& c = Start({});
  view.fileToOpen = (dir / "none.pak").string();
  c.OnFileOpen();
  EXPECT_EQ(view.Entries().back(), "Packed File Open Error - Code 1 -");
  EXPECT_FALSE(c.state().fileLoaded);
  view.fileToOpen.reset();  // cancelled: nothing
  const size_t events = view.events.size();
  c.OnFileOpen();
  EXPECT_EQ(view.events.size(), events);

  // The library's image does not unpack (all zeros).
  const std::vector<uint8_t> zeros(codec::kContainerSize, 0);
  Dll_PutPackedFlashData(zeros.data());
  c.OnUnpackFlashdata();
  EXPECT_EQ(view.Entries().back(),
            "OnUnpackflashdata() : Dll_UnPackFlashData(m_PackedFlashData,m_UnPackedFlashData) ==> "
            "False");

  // The file cannot be created (a folder stands in its place).
  std::filesystem::create_directories(dir / "~EepromData.bin");
  c.OnGeteepromdata();
  EXPECT_EQ(view.events.back(), "box Notice|Cannot Create or Open File!|" +
                                    std::to_string(pw::kMbOk | pw::kMbIconError));
  EXPECT_NE(view.Entries().back(), "OnGeteepromdata() : Eeprom File Save Ok");
}

}  // namespace
}  // namespace apptest
