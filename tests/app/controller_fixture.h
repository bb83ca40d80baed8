// The controller under test: a view that records every effect, libraries whose ports,
// sessions and devices are scripted (the image stores and the codec stay real), and a fresh
// current folder for the log and the saved files.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "run.h"
#include "work_folder.h"

namespace apptest {

class RecordingView : public app::RunView {
 public:
  // Every effect as one text: "entry <text>", "status <text>", "progress <n>" (download),
  // "progress flash|eeprom <n>" (upload), "enable <id> <0|1>", "box <caption>|<text>|<type>",
  // "move <x> <y>", "close ok|cancel", "note <text>", "waiting <seconds>".
  std::vector<std::string> events;
  std::deque<int> boxAnswers;             // answers for the next boxes (default button after)
  std::optional<std::string> fileToOpen;  // what the open-file dialog returns
  std::map<int, bool> enabled;            // last state per control id

  void AppendMessage(const std::string& entry, app::EntryKind, const std::string&,
                     int scrollBy) override;
  void SetStatusText(const std::string& text) override;
  void SetProgress(int percent, app::ProgressKind kind) override;
  void EnableControl(int id, bool enable) override;
  int MessageBox(const std::string& text, const std::string& caption, unsigned type) override;
  void Move(int x, int y) override;
  void Close(app::DialogResult result) override;
  std::optional<std::string> ChooseFileToOpen(const std::string&, const std::string&) override;
  void Note(const std::string& text) override { events.push_back("note " + text); }
  void Waiting(std::chrono::seconds waited) override {
    events.push_back("waiting " + std::to_string(waited.count()));
  }

  // The entries appended, in order.
  std::vector<std::string> Entries() const;
  bool Saw(const std::string& event) const;
  int lastScroll = 0;
};

class FakeLinks : public app::Libraries {
 public:
  // Calls as texts ("OpenSerialPort COM3 115200 2", "SerialDown <folder> 4003", ...).
  std::vector<std::string> calls;
  int32_t openResult = 1;
  int32_t sessionResult = 1;  // SerialDown, SerialUp, UsbDown, UsbUp
  int32_t initUsbResult = 1;
  int32_t rebootResult = 0;
  int presentAtStart = 0;  // StartPnpNotice's result
  int arrivalResult = 1;
  uint32_t version = 0x0200;

  int32_t OpenSerialPort(const std::string& port, int32_t baud, int32_t index) override;
  int32_t CloseSerialPort() override;
  int32_t SerialDown(const std::string& folder, PwHwnd, int32_t code) override;
  int32_t SerialUp(PwHwnd, int32_t code) override;
  int32_t AutoReboot() override;
  int32_t InitUsbFunc() override;
  int32_t UsbDown(const std::string& folder, PwHwnd, int32_t code) override;
  int32_t UsbUp(PwHwnd, int32_t code) override;
  void CancelUsbFunc() override;
  int InitDevice() override;
  int StartPnpNotice(PwHwnd) override;
  int DeviceArrival(const std::string& path) override;
  int DeviceRemoval(const std::string& path) override;
  int GetDeviceVersion(uint32_t* out) override;
  std::string UsbNote() override {
    ++usbNoteAsks;
    return usbNote;
  }
  std::string usbNote;
  int usbNoteAsks = 0;
  bool usbConfigured = true;
  bool UsbReceiverConfigured() override { return usbConfigured; }
  std::string UsbReceiverSettingsHelp() override { return "set PENWICK_USBIP"; }

  size_t Count(const std::string& prefix) const;
};

// A packed image (of a packable sample region) and an EEPROM image.
struct Images {
  std::vector<uint8_t> region, packed, eeprom;
};
Images MakeImages(uint32_t seed, uint16_t systemId);
// Records `identity` (32 bytes) as the library's identity store.
void SetLibraryIdentity(const std::vector<uint8_t>& identity);
std::vector<uint8_t> LibraryIdentity();
std::vector<uint8_t> LibraryPacked();

template <size_t N>
std::vector<uint8_t> Vec(const std::array<uint8_t, N>& bytes) {
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::vector<uint8_t> ReadAll(const std::filesystem::path& path);
void WriteAll(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
// Header of zeros, packed image, EEPROM image.
std::vector<uint8_t> TransferFileBytes(const Images& images);

class ControllerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A controller over `args` (the program's arguments), started up.
  app::UploadController& Start(const std::vector<std::string>& args);
  // Sends a message to the controller's window as a library worker would (same thread: at
  // once).
  void Notice(int code, intptr_t value = 0);
  void DeviceChange(uint32_t event, const std::string& path = "usbip:127.0.0.1:3240/1-1");
  std::string Log() const;

  std::unique_ptr<WorkFolder> workFolder;
  std::filesystem::path dir;  // the current folder during the test
  RecordingView view;
  FakeLinks links;
  std::unique_ptr<app::UploadController> controller;
};

}  // namespace apptest
