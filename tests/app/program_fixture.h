// End-to-end runs of the real PenwickUpload against the emulated receiver: a fresh work folder
// (the current folder of the runs), transfer files made with penwick-pack, the receiver and the
// program as child processes.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "work_folder.h"

namespace apptest {

struct ProgramResult {
  int status = -1;
  std::string output;  // everything the program wrote to stdout
};

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // settings.dat (64-byte header, packed image of a sample region, EEPROM image) made with
  // penwick-pack; its bytes.
  std::vector<uint8_t> MakeTransferFile(const std::string& name = "settings.dat");
  // Starts `penwick-sim serial ARGS` (with `env` added to its environment) and returns the
  // pty it plays on.
  std::string StartSerialSim(const std::vector<std::string>& args,
                             const std::vector<std::string>& env = {});
  // The sim's exit status and last line.
  int FinishSim(std::string* lastLine);

  // Starts the program (in the work folder) with `args`; its stdout is a pipe. It runs on the
  // console unless `env` picks a display (QT_QPA_PLATFORM or DISPLAY), whatever display the
  // machine running the tests has.
  void StartProgram(const std::vector<std::string>& args, std::vector<std::string> env = {});
  // Reads its output to the end and waits for it to exit.
  ProgramResult FinishProgram(std::chrono::seconds timeout = std::chrono::seconds(120));
  ProgramResult RunProgram(const std::vector<std::string>& args, std::vector<std::string> env = {});
  // The same with stdout (and stdin) on a pseudo-terminal.
  ProgramResult RunOnTerminal(const std::vector<std::string>& args,
                              const std::vector<std::string>& env);

  // Starts `penwick-sim usb ARGS` off the bus (it arrives after the program has armed) and
  // returns the environment that points the program at it. The program keeps its own USB
  // time-outs: shortened, a loaded machine could make the receiver's answers late.
  std::vector<std::string> StartUsbSim(std::vector<std::string> args);
  // The sim's last line, once it has ended.
  std::string SimVerdict();
  // Whether a download file, or the temporary it is written as, is in the work folder.
  bool DownloadFileLeft() const;

  std::unique_ptr<WorkFolder> workFolder;
  std::filesystem::path dir;
  std::unique_ptr<pwtest::ChildProcess> sim;  // the latest started
  std::unique_ptr<pwtest::ChildProcess> program;
};

// Whether `line` is one JSON object whose values are strings, integers or booleans; its
// fields (values as their JSON text, strings unquoted) go to `fields`.
bool ParseFlatJson(const std::string& line, std::map<std::string, std::string>* fields);

// The USB runs: the same fixture.
using UsbProgramTest = ProgramTest;

}  // namespace apptest
