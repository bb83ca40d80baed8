// The USB runs: arming, the start at the next arrival, progress, completion, refusal, and
// ending the run early.
#include <algorithm>

#include "NorraLink.h"
#include "control_ids.h"
#include "controller_fixture.h"
#include "penwick/message_box.hpp"

namespace apptest {
namespace {

using app::RunPhase;

class UsbRun : public ControllerTest {
 protected:
  app::UploadController& Download() {
    images = MakeImages(7, 0x0102);
    WriteAll(dir / "settings.dat", TransferFileBytes(images));
    return Start({"-fsettings.dat", "-pCOM0"});
  }
  app::UploadController& Upload() {
    WriteAll(dir / "settings.dat", {1, 2, 3});  // the upload's destination
    return Start({"-fsettings.dat", "-pCOM256"});
  }
  Images images;
};

TEST_F(UsbRun, DownloadStartsOnceAtTheArrivalAndEndsOnItsNotice) {
  auto& c = Download();
  ASSERT_EQ(c.phase(), RunPhase::Armed);
  view.events.clear();
  DeviceChange(pw::kDeviceArrival, "usbip:h:1/1-1");
  EXPECT_EQ(view.Entries(), (std::vector<std::string>{"version => 0x0200", "Start! download!"}));
  EXPECT_EQ(links.Count("DeviceArrival usbip:h:1/1-1"), 1u);
  EXPECT_EQ(links.Count("UsbDown " + dir.string() + " 4013"), 1u);
  EXPECT_EQ(c.phase(), RunPhase::Running);

  // Another arrival, and a removal, while it runs: a version entry, nothing else.
  links.version = 0x0123;
  DeviceChange(pw::kDeviceArrival);
  DeviceChange(pw::kDeviceRemoveComplete);
  EXPECT_EQ(links.Count("UsbDown"), 1u);
  EXPECT_EQ(links.Count("DeviceRemoval"), 1u);
  EXPECT_EQ(view.Entries().back(), "version => 0x0123");
  EXPECT_EQ(c.phase(), RunPhase::Running);

  view.events.clear();
  Notice(app::kNoticeDownPercent, 0);
  Notice(app::kNoticeDownPercent, 100);
  EXPECT_EQ(view.events, (std::vector<std::string>{"progress 0", "status Writing 0%",
                                                   "entry DownLoad 0%", "progress 100",
                                                   "status Writing 100%", "entry DownLoad 100%"}));
  links.calls.clear();
  Notice(app::kNoticeUsbDownDone, 259);
  EXPECT_EQ(view.Entries().back(), "USB Download Success!");
  EXPECT_EQ(view.events.back(), "close ok");
  EXPECT_EQ(links.calls, (std::vector<std::string>{"AutoReboot", "CancelUsbFunc"}));
  EXPECT_TRUE(c.outcome().ok());
  EXPECT_TRUE(c.closed());
  // A worker's late notice after the close is dropped.
  Notice(app::kNoticeDownPercent, 50);
  EXPECT_EQ(view.events.back(), "close ok");
}

TEST_F(UsbRun, FailedRefusedAndCancelledDownloads) {
  {
    auto& c = Download();
    DeviceChange(pw::kDeviceArrival);
    Notice(app::kNoticeUsbDownDone, 260);
    EXPECT_EQ(view.Entries().back(), "USB Download Fail!");
    EXPECT_EQ(view.events.back(), "close cancel");
    EXPECT_EQ(c.outcome().exitCode, pw::cli::kExitTransferFailed);
  }
  {
    view = RecordingView();
    links.sessionResult = 0;  // the opening exchange fails
    auto& c = Download();
    DeviceChange(pw::kDeviceArrival);
    EXPECT_EQ(view.events.back(), "close cancel");
    EXPECT_EQ(c.outcome().exitCode, pw::cli::kExitRefused);
    EXPECT_FALSE(c.state().usbDownloadPending);
  }
  {
    // Exit while armed: nothing to stop.
    view = RecordingView();
    links = FakeLinks();
    auto& c = Download();
    Notice(app::kCmdOk);
    EXPECT_EQ(view.events.back(), "close ok");
    EXPECT_EQ(c.outcome().exitCode, pw::cli::kExitCancelled);
    EXPECT_EQ(links.Count("CancelUsbFunc"), 0u);
  }
  {
    // Esc while it runs: the session is cancelled and the window closes on its notice.
    view = RecordingView();
    auto& c = Download();
    DeviceChange(pw::kDeviceArrival);
    Notice(app::kCmdCancel);
    EXPECT_EQ(links.Count("CancelUsbFunc"), 1u);
    EXPECT_TRUE(c.WaitingForSessionEnd());
    EXPECT_FALSE(c.closed());
    Notice(app::kNoticeUsbDownDone, 260);
    EXPECT_TRUE(c.closed());
    EXPECT_EQ(c.outcome().exitCode, pw::cli::kExitCancelled);
  }
  {
    // A session that does not report in time: the front end stops waiting.
    view = RecordingView();
    auto& c = Download();
    DeviceChange(pw::kDeviceArrival);
    c.Stop({pw::cli::kExitCancelled, "signal", ""});
    EXPECT_FALSE(c.closed());
    c.StopWaiting();
    EXPECT_EQ(view.events.back(), "close cancel");
    EXPECT_EQ(c.outcome().summary, "signal");
  }
}

TEST_F(UsbRun, UploadSavesTheImagesExactlyAsReceived) {
  auto& c = Upload();
  EXPECT_EQ(Log().substr(Log().find("\r\n")), "\r\nDownload USB\r\nInitializing USB Success\r\n");
  ASSERT_TRUE(c.state().usbUploadPending);
  DeviceChange(pw::kDeviceArrival);
  EXPECT_EQ(view.Entries().back(), "Start! upload!");
  EXPECT_EQ(links.Count("UsbUp 4012"), 1u);

  // The worker fills the stores, reports progress and ends.
  images = MakeImages(8, 0x0A0B);
  Dll_PutPackedFlashData(images.packed.data());
  Dll_PutEepromData(images.eeprom.data());
  Notice(app::kNoticeUpFlashPercent, 50);
  Notice(app::kNoticeUpEepromPercent, 100);
  EXPECT_EQ(view.Entries().back(), "UpLoad EEPROM 100%");
  EXPECT_FALSE(view.Saw("progress 50"));  // upload progress stays in the list
  Notice(app::kNoticeUsbUpDone, 257);

  std::vector<uint8_t> expected(images.packed);
  expected.insert(expected.end(), images.eeprom.begin(), images.eeprom.end());
  EXPECT_EQ(ReadAll(dir / "settings.dat"), expected);  // 131328 bytes, no header
  EXPECT_EQ(Vec(c.state().unpacked), images.region);
  EXPECT_EQ(view.events.back(), "close ok");
  EXPECT_TRUE(c.outcome().ok());
}

TEST_F(UsbRun, AnUploadThatFailsOrCannotBeUsedLeavesTheFile) {
  const std::vector<uint8_t> original{1, 2, 3};
  {
    auto& c = Upload();
    DeviceChange(pw::kDeviceArrival);
    Notice(app::kNoticeUsbUpDone, 258);
    EXPECT_EQ(view.Entries().back(), "USB Upload Fail!");
    EXPECT_EQ(c.outcome().exitCode, pw::cli::kExitTransferFailed);
  }
  {
    // A receiver reporting no flash data: an image that does not unpack is kept beside the
    // file, never over it.
    view = RecordingView();
    auto& c = Upload();
    DeviceChange(pw::kDeviceArrival);
    const std::vector<uint8_t> zeros(app::kPackedSize, 0), eeprom(app::kEepromSize, 7);
    Dll_PutPackedFlashData(zeros.data());
    Dll_PutEepromData(eeprom.data());
    Notice(app::kNoticeUsbUpDone, 257);
    std::vector<uint8_t> received(zeros);
    received.insert(received.end(), eeprom.begin(), eeprom.end());
    EXPECT_EQ(ReadAll(dir / "settings.dat.received"), received);
    EXPECT_EQ(c.outcome().exitCode, pw::cli::kExitTransferFailed);
    EXPECT_NE(c.outcome().summary.find("settings.dat.received"), std::string::npos);
  }
  {
    // Cancelled, and the session completes all the same.
    view = RecordingView();
    auto& c = Upload();
    DeviceChange(pw::kDeviceArrival);
    images = MakeImages(9, 1);
    Dll_PutPackedFlashData(images.packed.data());
    Notice(app::kCmdOk);
    Notice(app::kNoticeUsbUpDone, 257);
    EXPECT_TRUE(c.closed());
    EXPECT_EQ(c.outcome().exitCode, pw::cli::kExitCancelled);
  }
  EXPECT_EQ(ReadAll(dir / "settings.dat"), original);
}

TEST_F(UsbRun, AnUploadThatCannotBeSavedSaysSo) {
  controller.reset();
  Start({"-fmissing/settings.dat", "-pCOM256"});
  DeviceChange(pw::kDeviceArrival);
  images = MakeImages(10, 2);
  Dll_PutPackedFlashData(images.packed.data());
  Notice(app::kNoticeUsbUpDone, 257);
  EXPECT_TRUE(view.Saw("box PenwickUpload|Failed to write file [missing/settings.dat]|" +
                       std::to_string(pw::kMbOk | pw::kMbIconWarning)));
  const auto entries = view.Entries();
  EXPECT_NE(std::find(entries.begin(), entries.end(), "Packed File Open Error - Code 1 -"),
            entries.end());
  EXPECT_EQ(view.events.back(), "close ok");
  EXPECT_EQ(controller->outcome().exitCode, pw::cli::kExitSaveFailed);
}

}  // namespace
}  // namespace apptest
