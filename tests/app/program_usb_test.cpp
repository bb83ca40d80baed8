// The real program end to end over USB/IP against the emulated receiver's USB side: the
// download and the upload, and the runs that must fail with their own exit status, leaving
// the transfer file as it was.
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "program_fixture.h"

namespace apptest {
namespace {

using namespace std::chrono_literals;

std::string LastLine(const std::string& output) {
  std::istringstream in(output);
  std::string line, last;
  while (std::getline(in, line)) {
    if (!line.empty()) last = line;
  }
  return last;
}

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

TEST_F(UsbProgramTest, DownloadThenUploadOfTheSameSettings) {
  const std::vector<uint8_t> transfer = MakeTransferFile();
  auto env = StartUsbSim({"--mode", "download", "--file", "settings.dat"});
  // --verbose: the message list's entries too.
  ProgramResult run = RunProgram({"-fsettings.dat", "-pCOM0", "--console", "--verbose"}, env);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(SimVerdict().rfind("SIM OK", 0), 0u);
  EXPECT_NE(run.output.find("Start! download!"), std::string::npos);
  EXPECT_EQ(LastLine(run.output).rfind("Done: the USB download completed", 0), 0u) << run.output;
  EXPECT_FALSE(DownloadFileLeft());
  EXPECT_EQ(FileBytes("Upload.Log").size() > 9, true);

  // The upload as JSON: its progress (which image), the list's entries as messages; once the
  // upload has begun the status no longer asks for a reboot.
  env = StartUsbSim({"--mode", "upload", "--file", "settings.dat", "--bcd-device", "0200"});
  run = RunProgram({"-freceived.dat", "-pCOM256", "--json"}, env);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(SimVerdict().rfind("SIM OK", 0), 0u);
  EXPECT_EQ(FileBytes("received.dat"), std::vector<uint8_t>(transfer.begin() + 64, transfer.end()));
  std::map<std::string, int> seen;
  std::string lastStatus;
  std::istringstream lines(run.output);
  for (std::string line; std::getline(lines, line);) {
    std::map<std::string, std::string> f;
    ASSERT_TRUE(ParseFlatJson(line, &f)) << line;
    if (f["type"] == "progress") ++seen[f["direction"] + " " + f["image"]];
    if (f["type"] == "message" && f["text"] == "Start! upload!") ++seen["started"];
    if (f["type"] == "status") lastStatus = f["text"];
  }
  EXPECT_GT(seen["read flash"], 1);
  EXPECT_GT(seen["read eeprom"], 0);
  EXPECT_EQ(seen["started"], 1);
  EXPECT_EQ(lastStatus.rfind("Reading EEPROM", 0), 0u) << lastStatus;

  // The console for people: the status, progress and the closing line, not the list.
  env = StartUsbSim({"--mode", "upload", "--file", "settings.dat"});
  run = RunProgram({"-freceived.dat", "-pCOM256", "--console"}, env);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("Please reboot your receiver\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Reading flash ["), std::string::npos) << run.output;
  for (const char* entry : {"Start! upload!", "version =>", "USB Upload Success!", "\n/"}) {
    EXPECT_EQ(run.output.find(entry), std::string::npos) << entry;
  }
}

// Without a receiver configured nothing can arrive: the console ends at once with 7 and says
// how to configure one. A USB/IP server that cannot be reached may start later: the run keeps
// waiting, and says why once.
TEST_F(UsbProgramTest, NoReceiverConfiguredEndsAtOnceAnUnreachableServerIsSaidOnce) {
  MakeTransferFile();
  ProgramResult run = RunProgram({"-fsettings.dat", "-pCOM0", "--timeout", "2"},
                                 {"PENWICK_USBIP=127.0.0.1:1", "PENWICK_USB_IDS="});
  EXPECT_EQ(run.status, 10) << run.output;
  const std::string said =
      "The USB/IP server 127.0.0.1:1 cannot be reached: the connection was "
      "refused; still trying.";
  const size_t at = run.output.find(said);
  EXPECT_NE(at, std::string::npos) << run.output;
  EXPECT_EQ(run.output.find(said, at + 1), std::string::npos) << run.output;

  run = RunProgram({"-fsettings.dat", "-pCOM0"}, {"PENWICK_USBIP=", "PENWICK_USB_IDS="});
  EXPECT_EQ(run.status, 7) << run.output;
  EXPECT_NE(LastLine(run.output).find("USB unavailable: no USB receiver is configured"),
            std::string::npos)
      << run.output;
  EXPECT_NE(LastLine(run.output).find("PENWICK_USBIP=host:port"), std::string::npos);
  EXPECT_EQ(run.output.find("Please reboot"), std::string::npos) << run.output;
}

TEST_F(UsbProgramTest, FailuresKeepTheTransferFile) {
  const std::vector<uint8_t> transfer = MakeTransferFile();
  struct Case {
    const char* name;
    std::vector<std::string> simArgs;
    std::vector<std::string> programArgs;
    int status;
  };
  const std::vector<Case> cases = {
      {"removal mid-download",
       {"--mode", "download", "--file", "settings.dat", "--block-size", "512", "--hangup-after",
        "6"},
       {"-fsettings.dat", "-pCOM0"},
       1},
      {"refused opening",
       {"--mode", "download", "--file", "settings.dat", "--refuse-opening", "1"},
       {"-fsettings.dat", "-pCOM0"},
       11},
      {"removal mid-upload",
       {"--mode", "upload", "--file", "settings.dat", "--hangup-after", "3"},
       {"-fsettings.dat", "-pCOM256"},
       1},
      {"no receiver in time",
       {"--mode", "upload", "--file", "settings.dat", "--appear-after-ms", "60000"},
       {"-fsettings.dat", "-pCOM256", "--timeout", "1"},
       10},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    const auto env = StartUsbSim(test.simArgs);
    const ProgramResult run = RunProgram(test.programArgs, env);
    EXPECT_EQ(run.status, test.status) << run.output;
    EXPECT_EQ(LastLine(run.output).rfind("Failed: ", 0), 0u) << run.output;
    EXPECT_EQ(FileBytes("settings.dat"), transfer);
    sim->Stop(5s);
  }
}

TEST_F(UsbProgramTest, SigtermDuringTheDownloadCancelsIt) {
  const std::vector<uint8_t> transfer = MakeTransferFile();
  // The receiver falls silent in mid-transfer; the program is stopped while it waits.
  const auto env = StartUsbSim({"--mode", "download", "--file", "settings.dat", "--block-size",
                                "512", "--silent-after", "8"});
  StartProgram({"-fsettings.dat", "-pCOM0"}, env);
  std::string line;
  while ((line = program->ReadLine(60s)).rfind("Writing", 0) != 0 && !line.empty()) {
  }
  ASSERT_FALSE(line.empty()) << "no progress";
  program->Signal(SIGTERM);
  const ProgramResult run = FinishProgram(60s);
  EXPECT_EQ(run.status, 8) << run.output;
  EXPECT_NE(LastLine(run.output).find("stopped by SIGTERM"), std::string::npos) << run.output;
  EXPECT_EQ(FileBytes("settings.dat"), transfer);
  EXPECT_FALSE(DownloadFileLeft());
  sim->Stop(5s);
}

// Ctrl-C during a stalled upload or download says at once that it cancels; a second one ends
// the process there and then with 8 (no waiting for the session, so no closing line), the file
// untouched. A download file such an end leaves is removed by the next run.
TEST_F(UsbProgramTest, ASecondCtrlCDuringAStalledUploadEndsAtOnce) {
  const std::vector<uint8_t> transfer = MakeTransferFile();
  struct Case {
    std::vector<std::string> sim;
    const char* port;
    const char* progress;
  };
  const std::vector<Case> cases = {
      {{"--mode", "upload", "--file", "settings.dat", "--silent-after", "6"},
       "-pCOM256",
       "Reading"},
      {{"--mode", "download", "--file", "settings.dat", "--block-size", "512", "--silent-after",
        "8"},
       "-pCOM0",
       "Writing"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.port);
    const auto env = StartUsbSim(test.sim);
    StartProgram({"-fsettings.dat", test.port}, env);
    std::string line;
    while ((line = program->ReadLine(60s)).rfind(test.progress, 0) != 0 && !line.empty()) {
    }
    ASSERT_FALSE(line.empty()) << "no progress";
    program->Signal(SIGINT);
    while ((line = program->ReadLine(60s)).rfind("Cancelling", 0) != 0 && !line.empty()) {
    }
    ASSERT_FALSE(line.empty()) << "no word of the cancel";
    program->Signal(SIGINT);
    const ProgramResult run = FinishProgram(60s);
    EXPECT_EQ(run.status, 8) << run.output;
    EXPECT_EQ(run.output.find("Failed:"), std::string::npos) << run.output;
    EXPECT_EQ(FileBytes("settings.dat"), transfer);
    sim->Stop(5s);
  }
  // What a run ended while its download file was written or in use leaves (whether the
  // download above ended before the second Ctrl-C depends on timing, so it is put there).
  for (const char* name : {"~tmpDown.hvd", "~tmpDown.hvd.part0"}) {
    std::ofstream(dir / name) << "left";
  }
  const ProgramResult next =
      RunProgram({"-fsettings.dat", "-pCOM0"}, {"PENWICK_USBIP=", "PENWICK_USB_IDS="});
  EXPECT_EQ(next.status, 7) << next.output;
  EXPECT_FALSE(DownloadFileLeft());
}

// --list over USB/IP: a receiver-shaped emulated receiver, one of another shape and a server
// that is not there; as text and as JSON lines. It needs no transfer file and arms nothing.
TEST_F(UsbProgramTest, ListShowsTheServersDevicesTheirShapeAndWhyNot) {
  std::vector<std::unique_ptr<pwtest::ChildProcess>> sims;
  const auto startSim = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {PENWICK_SIM_PATH, "usb", "--port", "0"});
    sims.push_back(std::make_unique<pwtest::ChildProcess>());
    EXPECT_TRUE(sims.back()->Start(args));
    std::istringstream words(sims.back()->ReadLine(30s));  // "USBIP 127.0.0.1:<port> busid 1-1"
    std::string tag, address;
    words >> tag >> address;
    return address;
  };
  const std::string receiver =
      startSim({"--vid", "1234", "--pid", "5678", "--bcd-device", "0200", "--echo"});
  const std::string other =
      startSim({"--vid", "4321", "--pid", "0001", "--config", "no-endpoints"});
  const std::vector<std::string> env = {"PENWICK_USBIP=" + receiver + "," + other + ",127.0.0.1:1",
                                        "PENWICK_USB_IDS="};

  ProgramResult run = RunProgram({"--list"}, env);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("usbip:" + receiver +
                            "/1-1  1234:5678  version 0200\n"
                            "      receiver's shape: yes; usable as a receiver\n"),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("      receiver's shape: no; named by the settings, but not usable\n"
                            "      - not the receiver's shape: its interface has no bulk endpoint"),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("127.0.0.1:1: cannot be reached: the connection was refused"),
            std::string::npos)
      << run.output;
  EXPECT_FALSE(std::filesystem::exists("Upload.Log"));  // nothing was started

  run = RunProgram({"--list", "--json"}, env);
  EXPECT_EQ(run.status, 0);
  std::istringstream lines(run.output);
  std::string line;
  std::map<std::string, std::string> fields, last;
  int receivers = 0, unreachable = 0;
  while (std::getline(lines, line)) {
    ASSERT_TRUE(ParseFlatJson(line, &fields)) << line;
    if (fields["type"] == "usb" && fields["path"] == "usbip:" + receiver + "/1-1") {
      receivers += fields["vid"] == "1234" && fields["pid"] == "5678" && fields["shape"] == "yes" &&
                   fields["usable"] == "true" && fields["server"] == receiver;
    }
    if (fields["type"] == "usbip" && fields["server"] == "127.0.0.1:1") {
      unreachable +=
          fields["reachable"] == "false" && fields["problem"].find("refused") != std::string::npos;
    }
    last = fields;
  }
  EXPECT_EQ(receivers, 1) << run.output;
  EXPECT_EQ(unreachable, 1) << run.output;
  EXPECT_EQ(last["type"], "result");
  EXPECT_EQ(last["exit"], "0");
}

}  // namespace
}  // namespace apptest
