// The command line's options and the run each port text selects.
#include <gtest/gtest.h>

#include "command_line.h"
#include "program_options.h"

using app::RunMode;
using app::SelectRun;

// Every form of the letter options among the program's own, with the run it selects or the
// refusal (a part of the text that must name what was refused).
TEST(CommandLine, FormsAndRefusals) {
  struct Row {
    std::vector<std::string> args;
    std::string file, port;
    int x, y;
    RunMode mode;
    std::string refusal;  // empty: accepted
  };
  const auto kUsb = RunMode::UsbDownload, kUp = RunMode::UsbUpload,
             kSerial = RunMode::SerialDownload;
  const std::string k99 = "COM" + std::string(96, '1');
  const std::vector<Row> rows = {
      // Attached, with '-', '/' or no prefix, any case; a repeated option replaces.
      {{"-fC:\\a.pak", "-pCOM3", "-x100", "-y200"}, "C:\\a.pak", "COM3", 100, 200, kSerial, ""},
      {{"fC:\\a.pak", "/F/tmp/b.pak", "/pcom256", "Y-7"}, "/tmp/b.pak", "com256", 0, -7, kUp, ""},
      // Separated: the next argument whatever it begins with, unless "--".
      {{"-f", "old.dat", "-p", "COM256"}, "old.dat", "COM256", 0, 0, kUp, ""},
      {{"/f", "/s.dat", "-P", "COM1", "-x", "-5", "y", "9z"}, "/s.dat", "COM1", -5, 9, kSerial, ""},
      {{"-f", "-pCOM3"}, "-pCOM3", "", 0, 0, kUsb, ""},
      {{"-f", "--console", "-pCOM0"}, "", "COM0", 0, 0, kUsb, ""},
      {{"-fa.dat", "-p", "--json"}, "a.dat", "", 0, 0, kUsb, ""},
      {{"", "-fa.dat", "-p"}, "a.dat", "", 0, 0, kUsb, ""},
      // Texts of three characters or fewer without a digit; a signed number.
      {{"-fa.dat", "-pUSB"}, "a.dat", "USB", 0, 0, kUsb, ""},
      {{"-fa.dat", "-pCOM"}, "a.dat", "COM", 0, 0, kUsb, ""},
      {{"-fa.dat", "-pCOM-5"}, "a.dat", "COM-5", 0, 0, kUsb, ""},
      {{"-fa.dat", "-p" + k99}, "a.dat", k99, 0, 0, kSerial, ""},
      // Words that are no option.
      {{"-fold.dat", "COM256"}, "", "", 0, 0, kUsb, "\"COM256\" is not an option"},
      {{"-f", "old.dat", "-p", "COM256", "extra"}, "", "", 0, 0, kUsb, "\"extra\""},
      {{"-fa.dat", "-z"}, "", "", 0, 0, kUsb, "\"-z\""},
      {{"-fa.dat", "-"}, "", "", 0, 0, kUsb, "\"-\""},
      {{"-f", "--console", "settings.dat"}, "", "", 0, 0, kUsb, "\"settings.dat\""},
      // Port texts that name no port.
      {{"-fa.dat", "-pttyUSB0"}, "", "", 0, 0, kUsb, "\"ttyUSB0\" holds no plain port number"},
      {{"-fa.dat", "-pCOMx"}, "", "", 0, 0, kUsb, "\"COMx\" holds no plain"},
      {{"-fa.dat", "-pCOM1.5"}, "", "", 0, 0, kUsb, "\"COM1.5\" holds no plain"},
      {{"-fa.dat", "-p", "COM 3"}, "", "", 0, 0, kUsb, "\"COM 3\" holds no plain"},
      {{"-fa.dat", "-pCOM-"}, "", "", 0, 0, kUsb, "\"COM-\" holds no plain"},
      {{"-fa.dat", "-p", "256"}, "", "", 0, 0, kUsb, "\"256\" is too short"},
      {{"-fa.dat", "-ptty3"}, "", "", 0, 0, kUsb, "\"tty3\" names no serial port"},
      {{"-fa.dat", "-pCOM+3"}, "", "", 0, 0, kUsb, "\"COM+3\" names no serial port"},
      {{"-fa.dat", "-p/dev/ttyUSB0"}, "", "", 0, 0, kUsb, "PENWICK_COMn=/dev/"},
      {{"-fa.dat", "-p" + k99 + "1"}, "", "", 0, 0, kUsb, "100 characters"},
  };
  for (const Row& row : rows) {
    std::string args;
    for (const std::string& arg : row.args) args += "[" + arg + "]";
    SCOPED_TRACE(args);
    const app::ProgramOptions options = app::ParseProgramOptions(row.args);
    if (!row.refusal.empty()) {
      EXPECT_NE(options.error.find(row.refusal), std::string::npos) << options.error;
      continue;
    }
    EXPECT_EQ(options.error, "");
    EXPECT_EQ(options.line.file, row.file);
    EXPECT_EQ(options.line.port, row.port);
    EXPECT_EQ(options.line.posX, row.x);
    EXPECT_EQ(options.line.posY, row.y);
    EXPECT_EQ(SelectRun(options.line.port).mode, row.mode);
  }
}

TEST(CommandLine, RunSelection) {
  EXPECT_EQ(SelectRun("COM0").mode, RunMode::UsbDownload);
  EXPECT_EQ(SelectRun("USB").mode, RunMode::UsbDownload);
  EXPECT_EQ(SelectRun("").mode, RunMode::UsbDownload);
  EXPECT_EQ(SelectRun("COM-5").mode, RunMode::UsbDownload);
  EXPECT_EQ(SelectRun("COM256").mode, RunMode::UsbUpload);
  auto run = SelectRun("COM3");
  EXPECT_EQ(run.mode, RunMode::SerialDownload);
  EXPECT_EQ(run.portIndex, 2);
  EXPECT_EQ(SelectRun("COM257").mode, RunMode::SerialDownload);
  EXPECT_EQ(SelectRun("COM 7x").portIndex, 6);
  EXPECT_EQ(SelectRun("COM99999999999999").mode, RunMode::SerialDownload);  // saturates
}

TEST(ProgramOptions, DoubleDashOptions) {
  auto options =
      app::ParseProgramOptions({"-fa.dat", "--json", "--timeout", "2.5", "-pCOM0", "--verbose"});
  EXPECT_TRUE(options.json);
  EXPECT_TRUE(options.verbose);
  EXPECT_TRUE(options.console);
  EXPECT_EQ(options.timeoutSeconds, 2.5);
  EXPECT_EQ(options.line.file, "a.dat");
  EXPECT_EQ(options.line.port, "COM0");
  EXPECT_EQ(app::ParseProgramOptions({"--timeout=7"}).timeoutSeconds, 7);
  for (auto bad : std::vector<std::vector<std::string>>{{"--timeout"},
                                                        {"--timeout", "0"},
                                                        {"--timeout", "-fa.dat"},
                                                        {"--verbos"},
                                                        {"--json=1"}}) {
    EXPECT_NE(app::ParseProgramOptions(bad).error, "") << bad[0];
  }
  // The first refusal is kept, and --json after it is still known.
  options = app::ParseProgramOptions({"COM256", "--timeout", "0", "--json"});
  EXPECT_NE(options.error.find("COM256"), std::string::npos) << options.error;
  EXPECT_TRUE(options.json);
}
