// The command line's options and the run each port text selects.
#include <gtest/gtest.h>

#include "command_line.h"
#include "json_line.h"
#include "program_options.h"

using app::ParseCommandLine;
using app::RunMode;
using app::SelectRun;

TEST(CommandLine, OptionsWithAndWithoutPrefix) {
  auto line = ParseCommandLine({"-fC:\\a.pak", "-pCOM3", "-x100", "-y200"});
  EXPECT_EQ(line.file, "C:\\a.pak");
  EXPECT_EQ(line.port, "COM3");
  EXPECT_EQ(line.posX, 100);
  EXPECT_EQ(line.posY, 200);

  line = ParseCommandLine({"fC:\\a.pak", "/F/tmp/b.pak", "-q", "", "-", "P"});
  EXPECT_EQ(line.file, "/tmp/b.pak");  // a repeated option replaces the earlier value
  EXPECT_EQ(line.port, "");            // "P" sets an empty port text

  EXPECT_EQ(ParseCommandLine({"-y200", "-x100"}).posX, 100);
  EXPECT_EQ(ParseCommandLine({"-x 12abc"}).posX, 12);
  EXPECT_EQ(ParseCommandLine({"-xabc"}).posX, 0);
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
