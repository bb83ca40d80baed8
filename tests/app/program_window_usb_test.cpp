// The real program in its window (offscreen) over USB/IP against the emulated receiver: the
// download and the upload close the window by themselves with success, as on the console; a
// failed run, with nobody to see the window, closes too, with the failure's status.
#include <fstream>
#include <iterator>

#include "program_fixture.h"

namespace apptest {
namespace {

TEST_F(UsbProgramTest, WindowDownloadAndUploadCloseThemselves) {
  const std::vector<uint8_t> transfer = MakeTransferFile();
  auto env = StartUsbSim({"--mode", "download", "--file", "settings.dat"});
  env.push_back("QT_QPA_PLATFORM=offscreen");
  ProgramResult run = RunProgram({"-fsettings.dat", "-pCOM0"}, env);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(SimVerdict().rfind("SIM OK", 0), 0u);

  env = StartUsbSim({"--mode", "upload", "--file", "settings.dat", "--bcd-device", "0200"});
  env.push_back("QT_QPA_PLATFORM=offscreen");
  run = RunProgram({"-freceived.dat", "-pCOM256"}, env);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(SimVerdict().rfind("SIM OK", 0), 0u);
  std::ifstream received("received.dat", std::ios::binary);
  EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(received), {}),
            std::vector<uint8_t>(transfer.begin() + 64, transfer.end()));

  env = StartUsbSim({"--mode", "download", "--file", "settings.dat", "--refuse-opening", "1"});
  env.push_back("QT_QPA_PLATFORM=offscreen");
  run = RunProgram({"-fsettings.dat", "-pCOM0"}, env);
  EXPECT_EQ(run.status, 11);
}

}  // namespace
}  // namespace apptest
