// The USB runs: arming, the start at the next arrival, progress, completion, refusal, and
// ending the run early.
#include <signal.h>

#include <algorithm>

#include "NorraLink.h"
#include "control_ids.h"
#include "controller_fixture.h"
#include "penwick/message_box.hpp"
#include "stop_reasons.h"

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
  Notice(NL_NOTIFY_DOWN_PERCENT, 0);
  Notice(NL_NOTIFY_DOWN_PERCENT, 100);
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
  Notice(NL_NOTIFY_DOWN_PERCENT, 50);
  EXPECT_EQ(view.events.back(), "close ok");
}

TEST_F(UsbRun, FailedRefusedAndCancelledDownloads) {
  {
    auto& c = Download();
    DeviceChange(pw::kDeviceArrival);
    Notice(app::kNoticeUsbDownDone, 260);
    EXPECT_EQ(view.Entries().back(), "USB Download Fail!");
    // The run has ended; Exit, Esc alike, then closes with the failure, never "cancelled".
    EXPECT_EQ(c.phase(), RunPhase::Ended);
    EXPECT_FALSE(c.closed());
    Notice(app::kCmdCancel);
    EXPECT_EQ(view.events.back(), "close cancel");
    EXPECT_EQ(c.outcome().exitCode, pw::cli::kExitTransferFailed);
  }
  {
    view = RecordingView();
    links.sessionResult = 0;  // the opening exchange fails
    auto& c = Download();
    DeviceChange(pw::kDeviceArrival);
    EXPECT_EQ(c.phase(), RunPhase::Ended);
    Notice(app::kCmdOk);
    EXPECT_EQ(view.events.back(), "close ok");
    EXPECT_EQ(c.outcome().exitCode, pw::cli::kExitRefused);
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
    EXPECT_EQ(c.phase(), RunPhase::Ending);
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
  ASSERT_EQ(c.phase(), RunPhase::Armed);
  DeviceChange(pw::kDeviceArrival);
  EXPECT_EQ(view.Entries().back(), "Start! upload!");
  // Once the upload has begun nobody is asked to reboot: the status says what happens.
  EXPECT_EQ(view.events.back(), "status Reading the settings from the receiver");
  EXPECT_EQ(links.Count("UsbUp 4012"), 1u);

  // The worker fills the stores, reports progress and ends.
  images = MakeImages(8, 0x0A0B);
  Dll_PutPackedFlashData(images.packed.data());
  Dll_PutEepromData(images.eeprom.data());
  view.events.clear();
  Notice(NL_NOTIFY_UP_FLASH_PERCENT, 50);
  Notice(NL_NOTIFY_UP_EEPROM_PERCENT, 100);
  EXPECT_EQ(view.events,
            (std::vector<std::string>{"progress flash 50", "status Reading flash 50%",
                                      "entry UpLoad Flash 50%", "progress eeprom 100",
                                      "status Reading EEPROM 100%", "entry UpLoad EEPROM 100%"}));
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
    const std::vector<uint8_t> zeros(codec::kContainerSize, 0), eeprom(codec::kEepromSize, 7);
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

// An upload is never lost: a transfer file that cannot be written is refused before anything
// is armed, and a save that fails after the transfer all the same (here: its folder was removed
// meanwhile) keeps the images, beside the file or else in the work folder, and says where.
TEST_F(UsbRun, AnUploadThatCouldNotBeSavedIsRefusedOrKept) {
  std::filesystem::create_directory(dir / "folder");
  for (const std::string file : {"missing/settings.dat", "folder"}) {
    SCOPED_TRACE(file);
    links = FakeLinks();
    auto& c = Start({"-f" + file, "-pCOM256"});
    EXPECT_TRUE(links.calls.empty());  // not even the USB functions
    EXPECT_NE(Log().find("\r\nCannot write file [" + file + "]\r\n"), std::string::npos);
    EXPECT_EQ(c.phase(), RunPhase::Ended);
    EXPECT_EQ(c.outcome().exitCode, pw::cli::kExitCannotWriteFile);
    EXPECT_FALSE(view.Saw("status Please reboot your receiver"));
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));

  std::filesystem::create_directory(dir / "gone");
  view = RecordingView();
  links = FakeLinks();
  Start({"-fgone/settings.dat", "-pCOM256"});
  DeviceChange(pw::kDeviceArrival);
  images = MakeImages(10, 2);
  Dll_PutPackedFlashData(images.packed.data());
  Dll_PutEepromData(images.eeprom.data());
  std::filesystem::remove(dir / "gone");
  Notice(app::kNoticeUsbUpDone, 257);
  EXPECT_TRUE(view.Saw("box PenwickUpload|Failed to write file [gone/settings.dat]|" +
                       std::to_string(pw::kMbOk | pw::kMbIconWarning)));
  const auto entries = view.Entries();
  EXPECT_NE(std::find(entries.begin(), entries.end(), "Packed File Open Error - Code 1 -"),
            entries.end());
  std::vector<uint8_t> expected(images.packed);
  expected.insert(expected.end(), images.eeprom.begin(), images.eeprom.end());
  const std::string kept = (dir / "settings.dat.received").string();
  EXPECT_EQ(ReadAll(kept), expected);
  EXPECT_EQ(controller->phase(), RunPhase::Ended);
  EXPECT_EQ(controller->outcome().exitCode, pw::cli::kExitSaveFailed);
  EXPECT_NE(controller->outcome().summary.find("kept in " + kept), std::string::npos)
      << controller->outcome().summary;
}

// The run's policy over the controller, as both front ends get it, on a fake clock: the
// driver's notes while armed (each text once, never once the transfer runs), the waited time,
// Exit while the session runs (Cancelling..., the bounded wait), --timeout, a second stop
// signal, a failure that keeps the window open until Exit, and a console run that ends at once.
TEST_F(UsbRun, TheRunsPolicy) {
  images = MakeImages(7, 0x0102);
  WriteAll(dir / "settings.dat", TransferFileBytes(images));
  app::Run::Clock::time_point now{};
  const auto makeRun = [&](const std::vector<std::string>& args, app::RunSettings settings) {
    view = RecordingView();
    links = FakeLinks();
    return std::make_unique<app::Run>(view, links, app::ParseCommandLine(args), settings,
                                      [&] { return now; });
  };
  const auto send = [](app::Run& run, int code, intptr_t value = 0) {
    pw::Message message;
    message.code = static_cast<uint32_t>(code);
    message.value = value;
    pw::SendMessage(run.controller().handle(), message);
  };
  const auto arrive = [](app::Run& run) {
    pw::Message message;
    message.kind = pw::MessageKind::DeviceChange;
    message.event = pw::kDeviceArrival;
    message.devicePath = "usbip:h:1/1-1";
    pw::SendMessage(run.controller().handle(), message);
  };
  const app::RunSettings window{30.0, false, true}, console{std::nullopt, false, false};
  const std::string cancelling =
      "status Cancelling\u2026 (waiting for the receiver's session to end)";

  auto run = makeRun({"-fsettings.dat", "-pCOM0"}, window);
  links.usbNote = "no receiver";
  run->Start();
  ASSERT_EQ(run->controller().phase(), RunPhase::Armed);
  now += std::chrono::seconds(10);
  run->Tick();
  links.usbNote = "refused";
  run->Tick();
  EXPECT_EQ(std::count(view.events.begin(), view.events.end(), "note no receiver"), 1);
  EXPECT_TRUE(view.Saw("note refused"));
  EXPECT_TRUE(view.Saw("waiting 10"));
  arrive(*run);
  const int asks = links.usbNoteAsks;
  run->Tick();
  EXPECT_EQ(links.usbNoteAsks, asks);
  run->Command(app::kCmdOk);
  EXPECT_EQ(view.events.back(), cancelling);
  EXPECT_EQ(links.Count("CancelUsbFunc"), 1u);
  now += app::kSessionEndWait - std::chrono::seconds(1);
  run->Tick();
  EXPECT_FALSE(run->Over());
  now += std::chrono::seconds(1);  // the session never reported: the run ends anyway
  run->Tick();
  EXPECT_TRUE(run->Over());
  EXPECT_EQ(run->ExitStatus(), pw::cli::kExitCancelled);

  // --timeout counts from arming and closes the window.
  run = makeRun({"-fsettings.dat", "-pCOM0"}, window);
  run->Start();
  now += std::chrono::seconds(29);
  run->Tick();
  EXPECT_FALSE(run->Over());
  now += std::chrono::seconds(1);
  run->Tick();
  EXPECT_TRUE(run->Over());
  EXPECT_EQ(view.events.back(), "close cancel");
  EXPECT_EQ(run->ExitStatus(), pw::cli::kExitTimedOut);

  // A stop signal while the session runs says so at once; a second one does not wait.
  run = makeRun({"-fsettings.dat", "-pCOM256"}, console);
  run->Start();
  arrive(*run);
  run->Signal(SIGINT);
  EXPECT_EQ(view.events.back(), cancelling);
  EXPECT_FALSE(run->Over());
  run->Signal(SIGTERM);
  EXPECT_TRUE(run->Over());
  EXPECT_EQ(run->ExitStatus(), pw::cli::kExitCancelled);
  EXPECT_NE(run->controller().outcome().summary.find("Ctrl-C"), std::string::npos);

  // A failed transfer keeps the window open, saying why; Exit ends with the failure's code.
  run = makeRun({"-fsettings.dat", "-pCOM0"}, window);
  run->Start();
  arrive(*run);
  send(*run, app::kNoticeUsbDownDone, 260);
  run->Tick();
  EXPECT_FALSE(run->Over());
  EXPECT_EQ(view.events.back(),
            "status The USB download failed (the receiver stopped answering or was removed). To go "
            "on: check the cable, reboot the receiver and run the program again.");
  run->Command(app::kCmdCancel);
  EXPECT_TRUE(run->Over());
  EXPECT_EQ(run->ExitStatus(), pw::cli::kExitTransferFailed);

  // On the console such a run ends at once; a technician's window stays open without a
  // word and ends with 0.
  run = makeRun({"-pCOM0"}, console);
  run->Start();
  EXPECT_TRUE(run->Over());
  EXPECT_EQ(run->ExitStatus(), pw::cli::kExitNoTransferFile);
  run = makeRun({"-pCOM0"}, {std::nullopt, true, true});
  run->Start();
  EXPECT_FALSE(run->Over());
  EXPECT_FALSE(view.Saw("status No transfer file was given."));
  run->Command(app::kCmdOk);
  EXPECT_TRUE(run->Over());
  EXPECT_EQ(run->ExitStatus(), 0);
}

}  // namespace
}  // namespace apptest
