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

TEST(ProgramOptions, DoubleDashOptionsAndPortChecks) {
  auto options =
      app::ParseProgramOptions({"-fa.dat", "--json", "--timeout", "2.5", "-pCOM0", "--verbose"});
  EXPECT_TRUE(options.json);
  EXPECT_TRUE(options.verbose);
  EXPECT_TRUE(options.console);
  EXPECT_EQ(options.timeoutSeconds, 2.5);
  EXPECT_EQ(options.rest, (std::vector<std::string>{"-fa.dat", "-pCOM0"}));
  EXPECT_EQ(app::ParseProgramOptions({"--timeout=7"}).timeoutSeconds, 7);
  for (auto bad : std::vector<std::vector<std::string>>{{"--timeout"},
                                                        {"--timeout", "0"},
                                                        {"--timeout", "-fa.dat"},
                                                        {"--verbos"},
                                                        {"--json=1"}}) {
    EXPECT_NE(app::ParseProgramOptions(bad).error, "") << bad[0];
  }
  EXPECT_EQ(app::CheckPortText("COM3"), "");
  EXPECT_EQ(app::CheckPortText(std::string(99, 'C')), "");
  EXPECT_NE(app::CheckPortText(std::string(100, 'C')), "");
  EXPECT_NE(app::CheckPortText("/dev/ttyUSB0").find("PENWICK_COMn"), std::string::npos);
}

TEST(JsonLine, AnyTextBecomesAValidString) {
  EXPECT_EQ(app::JsonString("a\"b\\c\r\n\t\x01\x7f"), "\"a\\\"b\\\\c\\r\\n\\t\\u0001\\u007f\"");
  EXPECT_EQ(app::JsonString("caf\xc3\xa9"), "\"caf\xc3\xa9\"");
  // Bytes that are not UTF-8 (a lone continuation, a cut sequence, an overlong form).
  EXPECT_EQ(app::JsonString("\x80|\xc3|\xc0\xaf"), "\"\\ufffd|\\ufffd|\\ufffd\\ufffd\"");
  EXPECT_EQ(app::JsonLine("result").Add("exit", 4).Add("ok", false).Text(),
            "{\"type\":\"result\",\"exit\":4,\"ok\":false}");
}
