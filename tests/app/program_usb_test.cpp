// The real program end to end over USB/IP against the emulated receiver's USB side: the
// download and the upload, and the runs that must fail with their own exit status, leaving
// the transfer file as it was.
#include <signal.h>

#include <fstream>
#include <iterator>
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
  ProgramResult run = RunProgram({"-fsettings.dat", "-pCOM0", "--console"}, env);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(SimVerdict().rfind("SIM OK", 0), 0u);
  EXPECT_NE(run.output.find("Start! download!"), std::string::npos);
  EXPECT_EQ(LastLine(run.output).rfind("Done: the USB download completed", 0), 0u) << run.output;
  EXPECT_EQ(FileBytes("Upload.Log").size() > 9, true);

  env = StartUsbSim({"--mode", "upload", "--file", "settings.dat", "--bcd-device", "0200"});
  run = RunProgram({"-freceived.dat", "-pCOM256", "--console"}, env);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(SimVerdict().rfind("SIM OK", 0), 0u);
  EXPECT_EQ(FileBytes("received.dat"), std::vector<uint8_t>(transfer.begin() + 64, transfer.end()));
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
  sim->Stop(5s);
}

}  // namespace
}  // namespace apptest
