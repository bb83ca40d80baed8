// Shared set-up of the USB session tests: the emulated receiver (penwick-sim usb --mode ...)
// as a child process reached over USB/IP on loopback, the process-wide USB driver pointed at
// it, the images it serves or expects in files, and a window pumped on the test thread that
// records every notification. The USB time-outs stay as they are, so that a loaded machine
// cannot make an answer late; a test that waits for a silent receiver shortens them itself.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "window_notes.h"

namespace hvusb_test {
class SimProcess;
}

namespace testpeer {

inline constexpr uint32_t kUsbUpDone = 4012;
inline constexpr uint32_t kUsbDownDone = 4013;

class UsbSessionTest : public ::testing::Test {
 protected:
  UsbSessionTest();
  ~UsbSessionTest() override;
  void SetUp() override;
  void TearDown() override;

  // Starts a receiver with `options` and the images (--pak/--eeprom), and opens it. The
  // receiver of an earlier Start is stopped first.
  bool Start(std::vector<std::string> options);
  // Reboots the receiver and opens it again once it is back (bounded).
  bool RebootAndReopen();
  // Starts a download (Dll_UsbDown into the work folder) or an upload (Dll_UsbUp), expects it
  // to start, pumps until its completion and returns the completion's value (-1: none came).
  // A download also expects its download file to be gone by then.
  intptr_t Download(uint32_t completion = kUsbDownDone);
  intptr_t Upload(uint32_t completion = kUsbUpDone);
  // Pumps until more than `before` completions `completion` have come; the next one's value.
  intptr_t Await(uint32_t completion, size_t before);
  // The receiver's run: waits for it to end (or stops it first) and checks its exit status and
  // closing line ("SIM OK" when `ok`).
  ::testing::AssertionResult ReceiverEnded(bool ok, bool stop = false);

  std::vector<uint8_t> StoredPacked() const;
  std::vector<uint8_t> StoredEeprom() const;

  std::filesystem::path dir;
  std::vector<uint8_t> packed, eeprom;
  std::unique_ptr<hvusb_test::SimProcess> sim;
  std::string path;  // the receiver's device path
  Notes notes;
};

}  // namespace testpeer
