// The serial commands: the automatic serial download, the port commands, and the service
// panel's upload and download with their notices.
#include <algorithm>

#include "NorraLink.h"
#include "control_ids.h"
#include "controller_fixture.h"
#include "penwick/message_box.hpp"

namespace apptest {
namespace {

using app::RunPhase;

TEST_F(ControllerTest, SerialDownloadRunsFromStartUpToItsNotice) {
  const Images images = MakeImages(11, 0x0304);
  WriteAll(dir / "settings.dat", TransferFileBytes(images));
  auto& c = Start({"-fsettings.dat", "-pCOM3"});
  EXPECT_EQ(links.calls, (std::vector<std::string>{"OpenSerialPort COM3 115200 2", "AutoReboot",
                                                   "SerialDown " + dir.string() + " 4003"}));
  const auto entries = view.Entries();
  EXPECT_EQ(
      std::vector<std::string>(entries.end() - 2, entries.end()),
      (std::vector<std::string>{"OnSerialOpen() : Open Success",
                                "HV_Download : SerialUp(m_PackedFlashData,m_EepromData) Call"}));
  EXPECT_EQ(LibraryPacked(), images.packed);
  EXPECT_EQ(Log().substr(Log().find("\r\n")), "\r\n");  // nothing but the first line
  EXPECT_EQ(c.phase(), RunPhase::Armed);
  Notice(NL_NOTIFY_DOWN_PERCENT, 0);
  EXPECT_EQ(c.phase(), RunPhase::Running);

  links.calls.clear();
  Notice(app::kNoticeSerialDownDone, 3);
  EXPECT_EQ(links.calls, (std::vector<std::string>{"AutoReboot", "CloseSerialPort"}));
  EXPECT_EQ(view.Entries().back(), "OnSerialClose() : Port Close ");
  EXPECT_TRUE(view.Saw("close ok"));
  EXPECT_TRUE(c.outcome().ok());
  EXPECT_EQ(c.outcome().summary.find("by hand"), std::string::npos);
}

TEST_F(ControllerTest, SerialDownloadFailuresAndCancel) {
  WriteAll(dir / "settings.dat", TransferFileBytes(MakeImages(12, 1)));
  {
    links.openResult = -1;
    auto& c = Start({"-fsettings.dat", "-pCOM3"});
    EXPECT_EQ(view.Entries().back(), "OnSerialOpen() : Fail ");
    EXPECT_EQ(links.Count("SerialDown"), 0u);
    EXPECT_EQ(links.Count("AutoReboot"), 1u);  // asked for whether or not the port opened
    EXPECT_NE(Log().find("\r\nCannot open comm port [COM3]\r\n"), std::string::npos);
    EXPECT_FALSE(c.closed());
    EXPECT_EQ(c.outcome().exitCode, pw::cli::kExitPortUnavailable);
  }
  {
    // A failed download leaves the window open; Exit then still reports the failure.
    view = RecordingView();
    links = FakeLinks();
    auto& c = Start({"-fsettings.dat", "-pCOM3"});
    Notice(app::kNoticeSerialDownDone, 4);
    EXPECT_EQ(links.Count("CloseSerialPort"), 1u);
    EXPECT_FALSE(c.closed());
    EXPECT_EQ(c.phase(), RunPhase::Ended);
    Notice(app::kCmdOk);
    EXPECT_TRUE(c.closed());
    EXPECT_EQ(c.outcome().exitCode, pw::cli::kExitTransferFailed);
  }
  {
    // A stop while the download waits for the receiver closes the port.
    view = RecordingView();
    links = FakeLinks();
    auto& c = Start({"-fsettings.dat", "-pCOM3"});
    c.Stop({pw::cli::kExitTimedOut, "no receiver", ""});
    EXPECT_EQ(links.calls.back(), "CloseSerialPort");
    EXPECT_TRUE(c.closed());
    EXPECT_EQ(c.outcome().exitCode, pw::cli::kExitTimedOut);
  }
  {
    // A reboot request that cannot be sent after a good download: still done, and the
    // closing line asks for the reboot by hand.
    view = RecordingView();
    links = FakeLinks();
    auto& c = Start({"-fsettings.dat", "-pCOM3"});
    links.rebootResult = -1;
    Notice(app::kNoticeSerialDownDone, 3);
    EXPECT_TRUE(c.closed());
    EXPECT_TRUE(c.outcome().ok());
    EXPECT_NE(c.outcome().summary.find("reboot the receiver by hand"), std::string::npos);
  }
}

TEST_F(ControllerTest, PortCommandsAndTheirResults) {
  auto& c = Start({"-pCOM5"});
  links.openResult = 0;
  c.OnSerialOpen();
  EXPECT_EQ(view.Entries().back(), "OnSerialOpen() : Aleady Opened!");
  links.openResult = 7;
  c.OnSerialOpen();
  EXPECT_EQ(view.Entries().back(), "OnSerialOpen() : Unkown status");
  EXPECT_EQ(view.enabled[app::kUpLoad], false);
  c.OnSerialClose();  // not open: nothing
  EXPECT_EQ(links.Count("CloseSerialPort"), 0u);

  links.openResult = 1;
  c.OnSerialOpen();
  EXPECT_EQ(links.calls.back(), "OpenSerialPort COM5 115200 4");
  EXPECT_EQ(view.enabled[app::kUpLoad], true);
  EXPECT_EQ(view.enabled[app::kDownLoad], false);  // nothing loaded or uploaded yet
  const size_t entries = view.Entries().size();
  c.OnSerialOpen();  // open already: nothing, no entry
  EXPECT_EQ(view.Entries().size(), entries);
  c.OnSerialClose();
  EXPECT_EQ(view.Entries().back(), "OnSerialClose() : Port Close ");
  EXPECT_EQ(view.Entries()[view.Entries().size() - 2], "OnSerialClose() m_bUploadSuccess == FALSE");
  EXPECT_FALSE(c.state().serialOpened);
}

// The service panel: a serial upload (progress, success answered No, then Yes with a reboot
// request that cannot be sent), then "DownLoad" of what it brought, which is refused before an
// upload or unpack filled the region.
TEST_F(ControllerTest, ServiceUploadThenDownload) {
  const std::string kRebootByHand =
      "entry The reboot request could not be sent: reboot the receiver by hand";
  auto& c = Start({"-pCOM2"});
  c.OnHvdown();
  EXPECT_EQ(links.Count("SerialDown"), 0u);
  EXPECT_NE(view.Entries().back().find("no flash region"), std::string::npos);

  c.OnSerialOpen();
  c.OnHvup();
  EXPECT_EQ(links.calls.back(), "SerialUp 4002");
  EXPECT_EQ(view.Entries().back(), "Waiting For Request. \r\nReboot SetTop Box!!");
  EXPECT_FALSE(c.state().fileLoaded);
  Notice(NL_NOTIFY_UP_FLASH_PERCENT, 99);
  EXPECT_FALSE(c.state().uploadSuccess);

  const Images images = MakeImages(13, 0x0506);
  Dll_PutPackedFlashData(images.packed.data());
  Dll_PutEepromData(images.eeprom.data());
  view.boxAnswers = {pw::kIdNo};
  links.calls.clear();
  Notice(app::kNoticeSerialUpDone, 1);
  EXPECT_TRUE(view.Saw("box Notice|Serial Upload Success, Reboot Settop Box|" +
                       std::to_string(pw::kMbYesNo)));
  EXPECT_EQ(links.calls, std::vector<std::string>{"CloseSerialPort"});  // no reboot on No
  EXPECT_TRUE(c.state().uploadSuccess);
  EXPECT_EQ(Vec(c.state().packed), images.packed);  // as received, not rewritten by the unpack
  EXPECT_EQ(Vec(c.state().unpacked), images.region);
  EXPECT_EQ(view.enabled[app::kViewModelId], true);
  Notice(NL_NOTIFY_UP_FLASH_PERCENT, 100);
  EXPECT_TRUE(c.state().uploadSuccess);
  EXPECT_FALSE(c.closed());
  EXPECT_FALSE(view.Saw(kRebootByHand));
  // Yes, but the reboot request cannot be sent: the list says to reboot by hand.
  view.boxAnswers = {pw::kIdYes};
  links.rebootResult = -1;
  Notice(app::kNoticeSerialUpDone, 1);
  EXPECT_EQ(links.Count("AutoReboot"), 1u);
  EXPECT_TRUE(view.Saw(kRebootByHand));

  c.OnSerialOpen();
  EXPECT_EQ(view.enabled[app::kDownLoad], true);
  c.OnHvdown();
  EXPECT_EQ(links.calls.back(), "SerialDown " + dir.string() + " 4003");
  EXPECT_EQ(view.Entries()[view.Entries().size() - 2], "OnHvdown : True");
  EXPECT_EQ(LibraryPacked(), Vec(c.state().packed));
}

}  // namespace
}  // namespace apptest
