// The real program end to end over a pseudo-terminal against the emulated receiver's serial
// side: the download, its output on a pipe, on a terminal and as JSON, and the runs that
// must fail with their own exit status.
#include <signal.h>

#include <fstream>
#include <sstream>

#include "program_fixture.h"

namespace apptest {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string LastLine(const std::string& output) {
  const auto lines = SplitLines(output);
  return lines.empty() ? "" : lines.back();
}

TEST_F(ProgramTest, SerialDownloadOnAPipeAndAsJson) {
  MakeTransferFile();
  std::string pty = StartSerialSim({"--file", "settings.dat", "--block-size", "200"});
  ProgramResult run =
      RunProgram({"-fsettings.dat", "-pCOM1", "--console"}, {"PENWICK_COM1=" + pty});
  std::string simSays;
  EXPECT_EQ(FinishSim(&simSays), 0) << simSays;
  EXPECT_EQ(simSays.rfind("SIM OK", 0), 0u) << simSays;
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output.find('\r'), std::string::npos);  // plain lines on a pipe
  EXPECT_NE(run.output.find("\nWriting [##############################] 100 %\n"),
            std::string::npos);
  EXPECT_EQ(LastLine(run.output).rfind("Done: the serial download completed", 0), 0u);
  std::ifstream log("Upload.Log");
  std::string first;
  std::getline(log, first);
  EXPECT_EQ(first.rfind("Executed ", 0), 0u);

  // The same with --json: every line an object of the documented kinds, the last the result.
  pty = StartSerialSim({"--file", "settings.dat", "--block-size", "250"});
  run = RunProgram({"-fsettings.dat", "-pCOM1", "--json"}, {"PENWICK_COM1=" + pty});
  EXPECT_EQ(FinishSim(&simSays), 0) << simSays;
  EXPECT_EQ(run.status, 0);
  std::map<std::string, std::string> fields;
  std::set<std::string> types;
  for (const std::string& line : SplitLines(run.output)) {
    ASSERT_TRUE(ParseFlatJson(line, &fields)) << line;
    types.insert(fields["type"]);
  }
  EXPECT_EQ(types, (std::set<std::string>{"message", "status", "progress", "result"}));
  ASSERT_TRUE(ParseFlatJson(LastLine(run.output), &fields));
  EXPECT_EQ(fields["type"], "result");
  EXPECT_EQ(fields["exit"], "0");
  EXPECT_EQ(fields["ok"], "true");
}

TEST_F(ProgramTest, SerialDownloadOnATerminalRedrawsOneBar) {
  MakeTransferFile();
  const std::string pty = StartSerialSim({"--file", "settings.dat"});
  const ProgramResult run = RunOnTerminal({"-fsettings.dat", "-pCOM1"}, {"PENWICK_COM1=" + pty});
  std::string simSays;
  EXPECT_EQ(FinishSim(&simSays), 0) << simSays;
  EXPECT_EQ(run.status, 0) << run.output;
  // From the first bar to the last one drawn: redraws only, never a new line.
  const size_t first = run.output.find("\rWriting [");
  const size_t last = run.output.rfind("\rWriting [");
  ASSERT_NE(first, std::string::npos) << run.output;
  EXPECT_LT(first, last);
  EXPECT_EQ(run.output.substr(first, last - first).find('\n'), std::string::npos);
  const auto lines = SplitLines(run.output);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().rfind("Done: the serial download completed", 0), 0u) << lines.back();
  EXPECT_NE(lines.back().find("Exit status 0"), std::string::npos);
}

TEST_F(ProgramTest, FilesThatMustNotBeSentAndUsageErrors) {
  const std::vector<uint8_t> good = MakeTransferFile();
  std::vector<uint8_t> saved(good.begin() + 64, good.end());  // as an upload saves it
  std::ofstream("saved.dat", std::ios::binary)
      .write(reinterpret_cast<const char*>(saved.data()),
             static_cast<std::streamsize>(saved.size()));
  for (const char* port : {"-pCOM1", "-pCOM0"}) {
    const ProgramResult run = RunProgram({"-fsaved.dat", port, "--console"});
    EXPECT_EQ(run.status, 4) << run.output;
    EXPECT_NE(LastLine(run.output).find("penwick-pack transfer"), std::string::npos);
  }
  std::ifstream in("saved.dat", std::ios::binary);
  EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}), saved);

  EXPECT_EQ(RunProgram({"-fsettings.dat", "-p/dev/ttyUSB0"}).status, 2);
  EXPECT_EQ(RunProgram({"-fsettings.dat", "-pCOM" + std::string(97, '1')}).status, 2);
  const ProgramResult json = RunProgram({"--json", "--timeout", "soon"});
  std::map<std::string, std::string> fields;
  ASSERT_TRUE(ParseFlatJson(LastLine(json.output), &fields)) << json.output;
  EXPECT_EQ(fields["exit"], "2");
  EXPECT_EQ(json.status, 2);
}

// No receiver answers: --timeout ends the run; a stop during the transfer cancels it.
TEST_F(ProgramTest, SerialTimeoutAndSigtermDuringTheTransfer) {
  MakeTransferFile();
  const std::string silent =
      StartSerialSim({"--file", "settings.dat", "--timeout", "60", "--reboot-delay-ms", "60000"});
  ProgramResult run =
      RunProgram({"-fsettings.dat", "-pCOM1", "--timeout", "1"}, {"PENWICK_COM1=" + silent});
  EXPECT_EQ(run.status, 10) << run.output;
  EXPECT_NE(LastLine(run.output).find("no transfer began within 1 s"), std::string::npos);
  sim->Stop(5s);

  const std::string pty = StartSerialSim({"--file", "settings.dat", "--block-size", "1"});
  StartProgram({"-fsettings.dat", "-pCOM1", "--timeout", "30"}, {"PENWICK_COM1=" + pty});
  std::string line;
  while ((line = program->ReadLine(60s)).rfind("Writing", 0) != 0 && !line.empty()) {
  }
  ASSERT_FALSE(line.empty()) << "no progress";
  program->Signal(SIGTERM);
  run = FinishProgram(60s);
  EXPECT_EQ(run.status, 8) << run.output;
  EXPECT_NE(LastLine(run.output).find("stopped by SIGTERM"), std::string::npos) << run.output;
  sim->Stop(5s);
}

}  // namespace
}  // namespace apptest
