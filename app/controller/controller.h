// The program's controller: everything the program knows (images, identities, flags, work
// folder, message list) and everything it does (start-up, the transfer commands, the reactions
// to the libraries' notices and to device changes, the service file commands). It knows no
// toolkit: it shows what happens through a View and receives notices, device changes and
// commands through its window, whose handler it provides. All of it runs on the thread that
// created the controller (the window's owner).
#pragma once

#include <array>
#include <cstdarg>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "command_line.h"
#include "image_sizes.h"
#include "libraries.h"
#include "outcome.h"
#include "penwick/window.hpp"
#include "view.h"

namespace app {

class UploadLog;
struct TransferFileRead;

// Where the program's automatic run stands.
enum class RunPhase {
  Idle,      // nothing armed (before start-up, after a start-up that armed nothing)
  Armed,     // waiting for the receiver: a USB transfer is pending, or a serial download
             // waits for the receiver's request
  Running,   // a transfer has begun (a USB start succeeded, the first download progress)
  Finished,  // the run has ended; its outcome is final
};

struct ControllerState {
  std::array<uint8_t, kPackedSize> packed{};    // packed flash image
  std::array<uint8_t, kRegionSize> unpacked{};  // plain flash region
  std::array<uint8_t, kEepromSize> eeprom{};
  std::array<uint8_t, kModelIdSize> modelId{};  // model identity last read
  bool uploadSuccess = false;                   // the last serial upload succeeded
  bool fileLoaded = false;                      // `packed` came from a file (not from the receiver)
  bool serialOpened = false;
  bool regionFilled = false;        // an unpack or an upload filled `unpacked`
  std::string fileName;             // file last opened or written
  std::string workDir;              // folder of the saved files and the library's temporary file
  std::string initialDir;           // first folder of the open-file dialog
  std::string messages;             // the message list: "\r\n" before every entry
  bool usbDownloadPending = false;  // starts at the next device arrival
  bool usbUploadPending = false;
  uint16_t deviceVersion = 0;
};

// The status text of a download at `percent`.
std::string WritingStatusText(int percent);

class UploadController {
 public:
  UploadController(View& view, Libraries& libraries, CommandLine line);
  ~UploadController();
  UploadController(const UploadController&) = delete;
  UploadController& operator=(const UploadController&) = delete;

  // The window the libraries notify and the front end pumps.
  PwWindow& window() { return *window_; }
  PwHwnd handle() const { return window_->handle(); }

  // Runs once, when the window has been created.
  void Startup();

  // The window's handler: device changes, then notices, then commands.
  intptr_t Handle(const pw::Message& message);

  // Commands of the window's controls.
  void OnOk();      // "Exit", Enter
  void OnCancel();  // Esc
  void OnSerialOpen();
  void OnSerialClose();
  void OnHvup();
  void OnHvdown();
  void OnFileOpen();
  void OnUnpackFlashdata();
  void OnPackFlashData();
  void OnGetPackedFlashData();
  void OnGeteepromdata();
  void OnViewModelId();
  void OnViewSystemId();

  // Ends the run from outside the window (a stop signal, a time-out) like Exit, with this
  // outcome when a transfer was armed or running.
  void Stop(Outcome why);
  // Closing waits for a cancelled USB session's completion notice; a front end that stops
  // waiting (after a few seconds) calls StopWaiting, which closes at once.
  bool WaitingForSessionEnd() const { return closeWhenUsbEnds_.has_value(); }
  void StopWaiting();

  RunPhase phase() const { return phase_; }
  bool closed() const { return closed_; }
  const Outcome& outcome() const { return outcome_; }
  const ControllerState& state() const { return *state_; }

 private:
  struct Scratch;

  // Message list.
  void AddMessage(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void AddEntry(const char* format, va_list args, EntryKind kind);
  void AddProgressEntry(int percent);

  void EnableFunctions(bool enable);
  void PutImages();
  bool LoadTransferFile();
  // The message-list entries of reading a packed image and the commands a read image enables;
  // false when the file could not be opened.
  bool ShowPackedRead(const TransferFileRead& read);
  bool SaveTransferFile();
  bool UnpackCopy();

  // Start-up.
  void StartUsbDownload();
  void StartUsbUpload();
  void StartSerialDownload();
  bool InitUsb();
  void StartUsbNotices();
  void RefuseBadFile(const std::string& reason, const std::string& advice);

  // Transfers.
  bool HV_Upload();
  bool HV_Download();

  // Notices and device changes.
  bool OnNotice(int code, intptr_t value);
  void OnDeviceArrived();
  void OnSerialUpDone(intptr_t value);
  void OnSerialDownDone(intptr_t value);
  void OnUsbUpDone(intptr_t value);
  void OnUsbDownDone(intptr_t value);
  void RefusedStart(const char* what);
  void KeepUnusableUpload();
  intptr_t OnDeviceChange(const pw::Message& message);
  bool OnCommand(int code);

  // Service files.
  bool SaveServiceFile(const char* prefix, const char* name, const uint8_t* data, size_t size);
  void ViewModelId();

  // Outcome and closing.
  void Fail(Outcome outcome);  // a start-up failure: the first one counts
  void Finish(Outcome outcome);
  void Close(DialogResult result);
  void EndRun(Outcome why, DialogResult result);

  View& view_;
  Libraries& libs_;
  const CommandLine line_;
  const RunSelection run_;
  std::unique_ptr<ControllerState> state_;
  std::unique_ptr<Scratch> scratch_;

  RunPhase phase_ = RunPhase::Idle;
  Outcome outcome_;
  bool outcomeSet_ = false;
  bool inStartup_ = false;
  UploadLog* log_ = nullptr;  // open during start-up only
  std::optional<DialogResult> closeAfterStartup_;
  bool closed_ = false;
  bool usbSessionRunning_ = false;
  bool cancelRequested_ = false;
  bool downloadFileError_ = false;  // notice 17 came
  std::optional<DialogResult> closeWhenUsbEnds_;
  // Last, so it goes first: no message reaches a controller being destroyed.
  std::unique_ptr<PwWindow> window_;
};

}  // namespace app
