// Start-up: the initial look, the log, and each path of arming, with the transfer files that
// must arm nothing.
#include <ctime>

#include "PenwickHelpers.h"
#include "control_ids.h"
#include "controller_fixture.h"
#include "upload_log.h"

namespace apptest {
namespace {

using app::RunPhase;
using pw::cli::kExitBadTransferFile;

TEST_F(ControllerTest, NoFileArmsNothingAndLogsTwoLines) {
  // A work folder with printf directives in its name is shown as it is.
  const std::filesystem::path work = dir / "a%sb%n%d";
  std::filesystem::create_directories(work / "~tmpDown.hvd.part3");
  std::filesystem::current_path(work);
  // Download files a run ended at once left behind go, whatever the run; nothing else does.
  const std::vector<std::string> leftovers = {"~tmpDown.hvd", "~tmpDown.hvd.part0",
                                              "~tmpDown.hvd.part17"};
  const std::vector<std::string> kept = {"~tmpDown.hvd.part", "~tmpDown.hvd.part1x",
                                         "~tmpDown.hvd.bak", "x~tmpDown.hvd"};
  for (const auto& name : leftovers) WriteAll(work / name, {1, 2});
  for (const auto& name : kept) WriteAll(work / name, {1, 2});
  const std::time_t before = std::time(nullptr);
  auto& c = Start({"-pCOM0", "-x100"});
  const std::time_t after = std::time(nullptr);

  const std::string folder = work.string();
  EXPECT_EQ(view.Entries(), std::vector<std::string>{folder});
  EXPECT_EQ(c.state().messages, "\r\n" + folder);
  EXPECT_EQ(c.state().workDir, folder);
  EXPECT_EQ(view.lastScroll, 1);
  const std::string log = Log();
  EXPECT_TRUE(log == "Executed " + app::LocalDateTime(before) + "\r\nNo input filename\r\n" ||
              log == "Executed " + app::LocalDateTime(after) + "\r\nNo input filename\r\n")
      << log;
  // -x alone leaves the window where it is; everything but the three open commands is off.
  for (const auto& e : view.events) EXPECT_NE(e.rfind("move", 0), 0u) << e;
  // Nothing is armed, so nobody is asked to reboot the receiver.
  EXPECT_FALSE(view.Saw("status Please reboot your receiver"));
  for (int id : {app::kDownLoad, app::kUpLoad, app::kGetPackedFlashData, app::kGetEepromData,
                 app::kUnpackFlash, app::kPackFlash, app::kViewModelId, app::kViewSystemId}) {
    EXPECT_EQ(view.enabled[id], false) << id;
  }
  EXPECT_EQ(view.enabled.count(app::kFileOpen), 0u);
  EXPECT_EQ(c.phase(), RunPhase::Ended);
  EXPECT_FALSE(c.closed());
  EXPECT_EQ(c.outcome().exitCode, pw::cli::kExitNoTransferFile);
  EXPECT_TRUE(links.calls.empty());
  for (const auto& name : leftovers) EXPECT_FALSE(std::filesystem::exists(work / name)) << name;
  for (const auto& name : kept) EXPECT_TRUE(std::filesystem::exists(work / name)) << name;
  EXPECT_TRUE(std::filesystem::is_directory(work / "~tmpDown.hvd.part3"));
}

TEST_F(ControllerTest, UsbDownloadWithAReceiverAlreadyAttachedWaitsForTheNextArrival) {
  const Images images = MakeImages(3, 0x1234);
  WriteAll(dir / "settings.dat", TransferFileBytes(images));
  const std::vector<uint8_t> identity(32, 0x22);
  SetLibraryIdentity(identity);
  links.presentAtStart = 1;
  auto& c = Start({"-fsettings.dat", "-pCOM0", "-x100", "-y200"});

  EXPECT_EQ(view.events.front(), "move 100 200");
  EXPECT_EQ(view.Entries(), (std::vector<std::string>{dir.string(), "Packed File Open Success",
                                                      "Eeprom Data read", "version => 0x0200"}));
  EXPECT_EQ(links.calls, (std::vector<std::string>{"InitUsbFunc", "InitDevice", "StartPnpNotice"}));
  EXPECT_EQ(Log().substr(Log().find("\r\n")), "\r\nDownload USB\r\nInitializing USB Success\r\n");
  EXPECT_TRUE(c.state().fileLoaded);
  EXPECT_EQ(c.phase(), RunPhase::Armed);
  EXPECT_EQ(view.events.back(), "status Please reboot your receiver");
  // The check before arming leaves the library as handing the images over alone would.
  EXPECT_EQ(LibraryPacked(), images.packed);
  EXPECT_EQ(LibraryIdentity(), identity);
}

// USB that cannot work arms nothing: functions that cannot be initialised, or settings that
// name no receiver (nothing could ever arrive). A serial run does not ask about USB at all.
TEST_F(ControllerTest, UnusableUsbArmsNothing) {
  WriteAll(dir / "settings.dat", TransferFileBytes(MakeImages(4, 1)));
  links.initUsbResult = 0;
  auto& c = Start({"-fsettings.dat", "-pCOM256"});
  EXPECT_EQ(Log().substr(Log().find("\r\n")), "\r\nDownload USB\r\nInitializing USB Failed\r\n");
  EXPECT_EQ(links.calls, std::vector<std::string>{"InitUsbFunc"});
  EXPECT_EQ(c.phase(), RunPhase::Ended);
  EXPECT_FALSE(c.closed());
  EXPECT_EQ(c.outcome().exitCode, pw::cli::kExitUsbUnavailable);

  for (const char* port : {"-pCOM0", "-pCOM256"}) {
    SCOPED_TRACE(port);
    links = FakeLinks();
    links.usbConfigured = false;
    auto& d = Start({"-fsettings.dat", port});
    EXPECT_NE(Log().find("\r\nInitializing USB Failed: no USB receiver is configured\r\n"),
              std::string::npos);
    EXPECT_EQ(links.Count("InitDevice"), 0u);
    EXPECT_EQ(d.phase(), RunPhase::Ended);
    EXPECT_EQ(d.outcome().exitCode, pw::cli::kExitUsbUnavailable);
    EXPECT_EQ(d.outcome().summary, "USB unavailable: no USB receiver is configured");
    EXPECT_EQ(d.outcome().advice, "set PENWICK_USBIP");
  }
  links = FakeLinks();
  links.usbConfigured = false;
  EXPECT_EQ(Start({"-fsettings.dat", "-pCOM3"}).phase(), RunPhase::Armed);
}

// Files that must never reach a receiver, in both download modes: the program's messages, the
// log line, nothing armed or started, the run ended after start-up.
TEST_F(ControllerTest, UnreadableIncompleteAndDamagedFilesArmNothing) {
  const Images images = MakeImages(5, 0x4321);
  std::vector<uint8_t> damaged = TransferFileBytes(images);
  // A byte inside the first block's stream (its offset is the first descriptor's).
  damaged[codec::kTransferHeaderSize + Get32bit(&images.packed[64 + 4]) + 20] ^= 0x5A;
  std::vector<uint8_t> noEeprom = TransferFileBytes(images);
  noEeprom.resize(noEeprom.size() - 256);
  std::vector<uint8_t> saved(images.packed);
  saved.insert(saved.end(), images.eeprom.begin(), images.eeprom.end());
  struct Case {
    const char* name;
    std::optional<std::vector<uint8_t>> bytes;
    std::vector<std::string> entries;  // after the work folder
    const char* says;                  // in the last entry
    std::string logLine;               // empty: the file cannot be opened
  };
  const std::vector<Case> cases = {
      {"missing", std::nullopt, {"Packed File Open Error - Code 1 -"}, "cannot open", ""},
      {"a folder",
       std::vector<uint8_t>{},
       {"Packed File Open Error - Code 1 -"},
       "-f names the folder t.dat",
       ""},
      {"header only",
       std::vector<uint8_t>(64, 0),
       {"Packed File Loading Error - Code 2 -"},
       "holds 64 bytes; a transfer file holds at least 131392",
       "Transfer file [t.dat] is incomplete: 64 bytes"},
      {"no EEPROM",
       noEeprom,
       {"Packed File Open Success", "ERR - Eeprom Data"},
       "incomplete",
       "Transfer file [t.dat] is incomplete: 131136 bytes"},
      {"saved by an upload",
       saved,
       {"Packed File Open Success", "Eeprom Data read"},
       "an upload saved",
       "Transfer file [t.dat] has no header: saved by an upload"},
      {"damaged",
       damaged,
       {"Packed File Open Success", "Eeprom Data read"},
       "failed its checks",
       "Transfer file [t.dat] is damaged: its packed image fails its checks"},
  };
  for (const char* port : {"COM0", "COM3"}) {
    for (const Case& test : cases) {
      SCOPED_TRACE(std::string(port) + " " + test.name);
      std::filesystem::remove_all(dir / "t.dat");
      if (test.bytes && test.bytes->empty()) std::filesystem::create_directory(dir / "t.dat");
      if (test.bytes && !test.bytes->empty()) WriteAll(dir / "t.dat", *test.bytes);
      view = RecordingView();
      links = FakeLinks();
      SetLibraryIdentity(std::vector<uint8_t>(32, 0x11));
      auto& c = Start({"-ft.dat", std::string("-p") + port});

      auto entries = view.Entries();
      ASSERT_EQ(entries.size(), test.entries.size() + 2);
      EXPECT_EQ(std::vector<std::string>(entries.begin() + 1, entries.end() - 1), test.entries);
      EXPECT_NE(entries.back().find(test.says), std::string::npos) << entries.back();
      const std::string logLine = test.logLine.empty() ? "Cannot open file [t.dat]" : test.logLine;
      EXPECT_NE(Log().find("\r\n" + logLine + "\r\n"), std::string::npos) << Log();
      EXPECT_EQ(Log().find("Cannot open file") == std::string::npos, !test.logLine.empty());
      EXPECT_FALSE(c.state().fileLoaded);
      EXPECT_EQ(links.Count("OpenSerialPort"), 0u);
      EXPECT_EQ(links.Count("SerialDown"), 0u);
      EXPECT_FALSE(view.Saw("status Please reboot your receiver"));
      // The run has ended; the front end decides whether its window stays open.
      EXPECT_EQ(c.phase(), RunPhase::Ended);
      EXPECT_FALSE(c.closed());
      EXPECT_EQ(c.outcome().exitCode, kExitBadTransferFile);
      EXPECT_EQ(LibraryIdentity(), std::vector<uint8_t>(32, 0x11));
      // The arrival of a receiver starts nothing.
      Notice(app::kNoticeDeviceArrived);
      EXPECT_EQ(links.Count("UsbDown"), 0u);
    }
  }
}

TEST_F(ControllerTest, ALogThatCannotBeCreatedArmsNothing) {
  std::filesystem::create_directories(dir / "Upload.Log");  // a folder in its place
  WriteAll(dir / "settings.dat", TransferFileBytes(MakeImages(6, 1)));
  auto& c = Start({"-fsettings.dat", "-pCOM0"});
  EXPECT_TRUE(links.calls.empty());
  EXPECT_NE(view.Entries().back().find("Upload.Log"), std::string::npos);
  EXPECT_EQ(c.outcome().exitCode, pw::cli::kExitLogFile);
  EXPECT_EQ(c.phase(), RunPhase::Ended);
}

}  // namespace
}  // namespace apptest
