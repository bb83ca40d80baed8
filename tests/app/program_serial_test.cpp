// The real program end to end over a pseudo-terminal against the emulated receiver's serial
// side: the download, its output on a pipe, on a terminal and as JSON, and the runs that
// must fail with their own exit status.
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
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
  EXPECT_FALSE(DownloadFileLeft());
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

  // Refused before anything is armed: no log is written.
  std::filesystem::remove("Upload.Log");
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"-fsettings.dat", "-p/dev/ttyUSB0"},
                                             {"-fsettings.dat", "-pCOM" + std::string(97, '1')},
                                             {"-fsettings.dat", "COM256"},
                                             {"-f", "settings.dat", "-p", "COMx"},
                                             {"-f", "settings.dat", "-p", "3"}}) {
    EXPECT_EQ(RunProgram(args).status, 2) << args.back();
  }
  EXPECT_FALSE(std::filesystem::exists("Upload.Log"));
  const ProgramResult json = RunProgram({"COM256", "--json", "--timeout", "soon"});
  std::map<std::string, std::string> fields;
  ASSERT_TRUE(ParseFlatJson(LastLine(json.output), &fields)) << json.output;
  EXPECT_EQ(fields["exit"], "2");
  EXPECT_EQ(json.status, 2);
}

// The PenwickUpload command lines of the README's shell examples (not build or install lines),
// continuation lines joined, comments dropped, blanks collapsed.
std::vector<std::string> ReadmeCommandLines() {
  std::ifstream in(PENWICK_README_PATH);
  std::vector<std::string> commands;
  bool shell = false;
  std::string joined;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("```", 0) == 0) {
      shell = line == "```sh";
      continue;
    }
    if (!shell) continue;
    if (const size_t hash = line.find('#');
        hash == 0 || (hash != std::string::npos && line[hash - 1] == ' ')) {
      line.erase(hash);
    }
    const bool continued = !line.empty() && line.back() == '\\';
    joined += continued ? line.substr(0, line.size() - 1) : line;
    if (continued) continue;
    std::istringstream words(joined);
    std::string command, word;
    while (words >> word) command += (command.empty() ? "" : " ") + word;
    joined.clear();
    if (command.find("PenwickUpload") != std::string::npos &&
        command.find("cmake") == std::string::npos) {
      commands.push_back(command);
    }
  }
  return commands;
}

std::vector<std::string> Words(const std::string& command, size_t from) {
  std::istringstream in(command);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return std::vector<std::string>(words.begin() + static_cast<std::ptrdiff_t>(from), words.end());
}

// Each command line the README shows, run as it is written against the emulated receiver,
// does what the README says of it. A new command line in the README fails here until it is
// given its check.
TEST_F(ProgramTest, TheReadmesCommandLinesDoWhatItSays) {
  enum Kind { kUsbDownload, kUsbUpload, kSerialOnCom3, kSimRunsTheProgram, kHelp };
  const std::map<std::string, Kind> checks = {
      {"PenwickUpload -f settings.dat -p COM0", kUsbDownload},
      {"PenwickUpload -f settings.dat -p COM256", kUsbUpload},
      {"PenwickUpload -fsettings.dat -pCOM3", kSerialOnCom3},
      {"PenwickUpload --help", kHelp},
      {"build/bin/penwick-sim serial --file settings.dat --order shuffled --block-size 100 --run "
       "build/bin/PenwickUpload -f settings.dat -p COM1",
       kSimRunsTheProgram},
  };
  const std::vector<std::string> commands = ReadmeCommandLines();
  std::vector<std::string> checked;
  for (const auto& check : checks) checked.push_back(check.first);
  EXPECT_EQ(std::set<std::string>(commands.begin(), commands.end()),
            std::set<std::string>(checked.begin(), checked.end()));

  for (const std::string& command : commands) {
    SCOPED_TRACE(command);
    if (!checks.count(command)) continue;
    const std::vector<uint8_t> transfer = MakeTransferFile();
    std::string simSays;
    ProgramResult run;
    switch (checks.at(command)) {
      case kUsbDownload:  // the file's images into the receiver, which checks them
        run = RunProgram(Words(command, 1),
                         StartUsbSim({"--mode", "download", "--file", "settings.dat"}));
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(LastLine(run.output).rfind("Done: the USB download completed", 0), 0u);
        EXPECT_EQ(SimVerdict().rfind("SIM OK", 0), 0u);
        break;
      case kUsbUpload: {  // the receiver's images replace the file, without its header
        run = RunProgram(Words(command, 1),
                         StartUsbSim({"--mode", "upload", "--file", "settings.dat"}));
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(SimVerdict().rfind("SIM OK", 0), 0u);
        std::ifstream in("settings.dat", std::ios::binary);
        const std::vector<uint8_t> saved(std::istreambuf_iterator<char>(in), {});
        EXPECT_EQ(saved.size(), 131328u);
        EXPECT_EQ(saved, std::vector<uint8_t>(transfer.begin() + 64, transfer.end()));
        break;
      }
      case kSerialOnCom3:  // a serial download on COM3, which PENWICK_COM3 points at
        run = RunProgram(Words(command, 1),
                         {"PENWICK_COM3=" + StartSerialSim({"--file", "settings.dat"})});
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(FinishSim(&simSays), 0) << simSays;
        break;
      case kSimRunsTheProgram: {  // the receiver runs the program and checks what it got
        std::vector<std::string> args = Words(command, 2);
        std::replace(args.begin(), args.end(), std::string("build/bin/PenwickUpload"),
                     std::string(PENWICK_UPLOAD_PATH));
        StartSerialSim(args, {"PENWICK_UI=console"});
        EXPECT_EQ(FinishSim(&simSays), 0) << simSays;
        EXPECT_EQ(simSays.rfind("SIM OK", 0), 0u) << simSays;
        break;
      }
      case kHelp: {  // every option and form, the variables and the exit codes
        run = RunProgram(Words(command, 1));
        EXPECT_EQ(run.status, 0);
        for (const char* says :
             {"-f FILE", "-p PORT", "-x X -y Y", "-fsettings.dat -pCOM3", "-f settings.dat -p COM3",
              "COM256", "PENWICK_COMn", "PENWICK_USB_IDS", "PENWICK_USBIP", "PENWICK_UI=console",
              "QT_QPA_PLATFORM", "--console", "--service", "--json", "--timeout SECONDS"}) {
          EXPECT_NE(run.output.find(says), std::string::npos) << says;
        }
        // Every exit status of the README's table.
        std::ifstream readme(PENWICK_README_PATH);
        int codes = 0;
        for (std::string row; std::getline(readme, row);) {
          int code = 0;
          char name = 0;
          if (std::sscanf(row.c_str(), "| %d | %c", &code, &name) != 2 || name != '`') continue;
          char line[8];
          std::snprintf(line, sizeof line, "\n  %2d  ", code);
          EXPECT_NE(run.output.find(line), std::string::npos) << code;
          ++codes;
        }
        EXPECT_GE(codes, 12);
        run = RunProgram({"--version"});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.output.rfind("PenwickUpload ", 0), 0u) << run.output;
        break;
      }
    }
  }
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
  EXPECT_FALSE(DownloadFileLeft());
  sim->Stop(5s);
}

}  // namespace
}  // namespace apptest
