// The program's controller: everything the program knows (images, identities, flags, work
// folder, message list) and everything it does (start-up, the transfer commands, the reactions
// to the libraries' notices and to device changes, the service file commands). It knows no
// toolkit: it shows what happens through a View and receives notices, device changes and
// commands through its window, whose handler it provides. All of it runs on the thread that
// created the controller (the window's owner).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "command_line.h"
#include "image_layout.h"
#include "libraries.h"
#include "outcome.h"
#include "penwick/window.hpp"
#include "view.h"

namespace app {

class UploadLog;
struct TransferFileRead;

// Where the program's run stands; one state, moved only by the controller.
enum class RunPhase {
  Starting,  // start-up has not finished
  Armed,     // waiting for the receiver: a USB transfer starts at its next arrival, or a serial
             // transfer waits for the receiver's request
  Running,   // a transfer has begun (a USB start succeeded, the first progress)
  Ending,    // the operator ended a running USB session; its completion notice is awaited
  Ended,     // the run has ended with its outcome (start-up armed nothing, or the transfer
             // ended); the window may still be open
};

// The status text while the run waits for the receiver.
inline constexpr const char* kRebootStatus = "Please reboot your receiver";

struct ControllerState {
  std::array<uint8_t, codec::kContainerSize> packed{};  // packed flash image
  std::array<uint8_t, codec::kRegionSize> unpacked{};   // plain flash region
  std::array<uint8_t, codec::kEepromSize> eeprom{};
  std::array<uint8_t, codec::kIdentitySize> modelId{};  // model identity last read
  bool uploadSuccess = false;                           // the last serial upload succeeded
  bool fileLoaded = false;  // `packed` came from a file (not from the receiver)
  bool serialOpened = false;
  bool regionFilled = false;  // an unpack or an upload filled `unpacked`
  std::string workDir;        // folder of the saved files and the library's temporary file
  std::string initialDir;     // first folder of the open-file dialog
  std::string messages;       // the message list: "\r\n" before every entry
  uint16_t deviceVersion = 0;
};

// The status text of a transfer at `percent`.
std::string ProgressStatusText(ProgressKind kind, int percent);

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
  // Puts `gate` between the window and Handle: every message the window receives goes to the
  // gate, which hands it to Handle when it sees fit (the run holds messages while a box is
  // open). Set before the window's handle is given out.
  void SetMessageGate(std::function<intptr_t(const pw::Message&)> gate) { gate_ = std::move(gate); }

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
  // outcome when a transfer was armed or running. After the run has ended, closes the window
  // with the outcome as it is.
  void Stop(Outcome why);
  // Closing waits for a cancelled USB session's completion notice (Ending); a front end that
  // stops waiting (after a few seconds, or at a second request) calls StopWaiting, which
  // closes at once.
  void StopWaiting();

  RunPhase phase() const { return phase_; }
  // The run the port text selects (read once, here).
  const RunSelection& selection() const { return run_; }
  // The window was told to close: the front end ends.
  bool closed() const { return phase_ == RunPhase::Ended && closeWith_.has_value(); }
  // The outcome so far; final once the phase is Ended.
  Outcome outcome() const;
  const ControllerState& state() const { return *state_; }

 private:
  struct Scratch;

  // Message list.
  void AddMessage(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void AddEntry(const char* text, EntryKind kind);
  // A progress notice: the bar, the status text and the entry (`entryFormat` with the percent).
  void ShowProgress(ProgressKind kind, const char* entryFormat, int percent);

  void EnableFunctions(bool enable);
  void PutImages();
  // False when the file cannot be sent; `logLine` then says why, for the log.
  bool LoadTransferFile(std::string* logLine);
  // The message-list entries of reading a packed image and the commands a read image enables;
  // false when the file could not be opened.
  bool ShowPackedRead(const TransferFileRead& read);
  bool SaveTransferFile();
  bool UnpackCopy();

  // Start-up: each returns true when it armed the run.
  bool StartUsbDownload();
  bool StartUsbUpload();
  bool StartSerialDownload();
  bool InitUsb();
  bool UploadDestinationWritable();
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
  // Keeps received images that cannot go into the transfer file; the path kept, or empty.
  std::string KeepReceived(std::string* error);
  void KeepUnusableUpload();
  intptr_t OnDeviceChange(const pw::Message& message);
  bool OnCommand(int code);

  // Service files.
  bool SaveServiceFile(const char* prefix, const char* name, const uint8_t* data, size_t size);
  void ViewModelId();

  // Outcome and closing.
  void Fail(Outcome outcome);  // a start-up failure: the first one counts
  // The run has ended with `outcome`: a success closes the window; a failure leaves it to the
  // front end. An end the operator asked for (Ending) keeps its outcome unless the transfer
  // completed all the same, and closes.
  void Finish(Outcome outcome);
  void Close(DialogResult result);
  void EndRun(Outcome why, DialogResult result);
  bool UsbSessionRunning() const;

  View& view_;
  Libraries& libs_;
  const CommandLine line_;
  const RunSelection run_;
  std::unique_ptr<ControllerState> state_;
  std::unique_ptr<Scratch> scratch_;

  RunPhase phase_ = RunPhase::Starting;
  std::optional<Outcome> outcome_;  // none yet: nothing was transferred
  // The result the window closes with, once asked for: at once, after start-up (Starting), or
  // when the cancelled session has reported (Ending).
  std::optional<DialogResult> closeWith_;
  UploadLog* log_ = nullptr;        // open during start-up only
  bool downloadFileError_ = false;  // notice 17 came
  std::function<intptr_t(const pw::Message&)> gate_;
  // Last, so it goes first: no message reaches a controller being destroyed.
  std::unique_ptr<PwWindow> window_;
};

}  // namespace app
