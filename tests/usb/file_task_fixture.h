// Test fixture: the file tasks against the emulated receiver's file store over USB/IP on
// loopback. A window on the test thread handles device changes and the tasks' completion
// messages; time-outs run at a tenth (8 s reads wait 800 ms, drains 2 s and 1.2 s), and the
// store sends an unanswered packet again after 2.5 s, between the end of the host's drain and
// the end of its longer wait after it. Local time is five hours east of UTC, so a time taken
// as UTC shows.
#pragma once

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "HvUsb.h"
#include "file_bytes.h"
#include "penwick/window.hpp"
#include "sample_region.h"
#include "sim_process.h"

namespace hvusb_test {

using Bytes = std::vector<uint8_t>;

inline constexpr uint32_t kTaskDone = 0x4711;

using samples::RandomBytes;
// Writes the file (a test failure when that fails) and reads it back.
void WriteBytes(const std::filesystem::path& path, const Bytes& bytes);
inline Bytes ReadBytes(const std::filesystem::path& path) {
  return testsupport::ReadFileBytes(path);
}
// Modification time of `path`, and setting it (access time too).
std::time_t ModifiedAt(const std::filesystem::path& path);
void SetModified(const std::filesystem::path& path, std::time_t when);
// The local calendar time of `when`.
std::tm Local(std::time_t when);
bool OwnerCanWrite(const std::filesystem::path& path);

class FileTaskReceiver : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;
  void TearDown() override;

  // Starts the emulated receiver with a file store and `options`, and opens it through
  // StartPnpNotice. False (with a test failure) when either fails.
  bool Start(std::vector<std::string> options);
  // Pumps the window until a task's completion message comes; its value, or -1 after `limit`.
  intptr_t Await(std::chrono::seconds limit = std::chrono::seconds(60));
  // Pumps until `done` holds; false after `limit`.
  bool PumpUntil(const std::function<bool()>& done,
                 std::chrono::seconds limit = std::chrono::seconds(30));
  // Lines of the store's packet log so far.
  std::vector<std::string> Log() const;
  // Stops the receiver; its closing line ("SIM OK ..." or "SIM FAIL ...").
  std::string FinishSim();

  std::filesystem::path dir;    // the test's own folder
  std::filesystem::path store;  // the receiver's files
  std::unique_ptr<SimProcess> sim;
  std::unique_ptr<PwWindow> window;
  std::vector<intptr_t> results;  // completion values, in order
  std::function<void()> onDone;   // runs in the window's handler after each completion
  bool open = false;              // a receiver is open
  int removals = 0;               // removals the window has handled
};

// True when `lines` holds `wanted` in this order (not necessarily adjacent).
bool InOrder(const std::vector<std::string>& lines, const std::vector<std::string>& wanted);
size_t Count(const std::vector<std::string>& lines, const std::string& prefix);

}  // namespace hvusb_test
