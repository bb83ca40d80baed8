// Start-up: the initial look, the work folder, the log, and arming or starting the run that
// the port text selects.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>

#include "control_ids.h"
#include "controller.h"
#include "penwick/message_box.hpp"
#include "penwick/serial_port.hpp"
#include "upload_log.h"

namespace app {
namespace {

std::optional<std::string> CurrentDirectory() {
  char path[PATH_MAX];
  if (getcwd(path, sizeof path) == nullptr) return std::nullopt;
  return std::string(path);
}

}  // namespace

void UploadController::Startup() {
  ControllerState& s = *state_;
  inStartup_ = true;
  if (line_.posX != 0 && line_.posY != 0) view_.Move(line_.posX, line_.posY);
  s.serialOpened = false;
  s.uploadSuccess = false;
  s.fileLoaded = false;
  view_.EnableControl(kUpLoad, false);
  view_.EnableControl(kDownLoad, false);
  EnableFunctions(s.uploadSuccess);
  view_.SetStatusText("Please reboot your receiver");
  const auto folder = CurrentDirectory();
  s.workDir = folder.value_or("");
  AddMessage("%s", s.workDir.c_str());
  s.packed.fill(0);
  s.unpacked.fill(0);
  s.eeprom.fill(0);
  s.modelId.fill(0);

  UploadLog log;
  if (!log.Open(kLogFileName, std::time(nullptr))) {
    const std::string reason = std::string("cannot create the log file ") + kLogFileName + " in " +
                               (folder ? *folder : "the current folder") + ": " +
                               std::strerror(errno);
    AddMessage("%s", reason.c_str());
    view_.MessageBox("Nothing is armed: " + reason, "PenwickUpload",
                     pw::kMbOk | pw::kMbIconWarning);
    Fail({pw::cli::kExitLogFile, reason, "run the program from a folder you can write to"});
    Close(DialogResult::Cancel);
  } else {
    s.initialDir = folder.value_or("/");
    log_ = &log;
    if (line_.file.empty()) {
      log.Line("No input filename");
      Fail({pw::cli::kExitNoTransferFile, "no transfer file was given",
            "name it with -f, for example: PenwickUpload -fsettings.dat -pCOM0"});
    } else if (run_.mode == RunMode::UsbDownload) {
      StartUsbDownload();
    } else if (run_.mode == RunMode::UsbUpload) {
      StartUsbUpload();
    } else {
      StartSerialDownload();
    }
    log_ = nullptr;
    log.Close();
  }
  inStartup_ = false;
  if (closeAfterStartup_) Close(*closeAfterStartup_);
}

bool UploadController::InitUsb() {
  if (libs_.InitUsbFunc() == 1) return true;
  log_->Line("Initializing USB Failed");
  Fail({pw::cli::kExitUsbUnavailable, "the USB functions could not be initialised",
        "check that libHvUsb is installed beside libNorraLink"});
  return false;
}

// Prepares the USB library and registers the window for device changes. A receiver already
// attached is reported now (its version), but the transfer starts at its next arrival, after
// the reboot: the pending flags are set afterwards.
void UploadController::StartUsbNotices() {
  libs_.InitDevice();
  if (libs_.StartPnpNotice(handle()) != 0) {
    pw::Message arrived;
    arrived.code = kNoticeDeviceArrived;
    pw::SendMessage(handle(), arrived);
  }
  log_->Line("Initializing USB Success");
}

void UploadController::StartUsbDownload() {
  const bool loaded = LoadTransferFile();
  if (!loaded) {
    Close(DialogResult::Cancel);
    log_->Line("Cannot open file [" + line_.file + "]");
  }
  log_->Line("Download USB");
  if (!InitUsb()) return;
  StartUsbNotices();
  PutImages();
  // Nothing unreadable, incomplete or damaged is ever sent.
  if (!loaded) return;
  state_->usbDownloadPending = true;
  phase_ = RunPhase::Armed;
}

void UploadController::StartUsbUpload() {
  log_->Line("Download USB");
  if (!InitUsb()) return;
  StartUsbNotices();
  state_->usbUploadPending = true;
  phase_ = RunPhase::Armed;
}

void UploadController::StartSerialDownload() {
  if (LoadTransferFile()) {
    OnSerialOpen();
    if (!state_->serialOpened) {
      Close(DialogResult::Cancel);
      log_->Line("Cannot open comm port [" + line_.port + "]");
      Fail({pw::cli::kExitPortUnavailable,
            "cannot open the serial port " + line_.port + " (" +
                pw::ResolveSerialPortName(line_.port) + ")",
            "check the port: COMn is /dev/ttyS<n-1> unless PENWICK_COMn names its device; "
            "you may need to be in the dialout group"});
    }
  } else {
    Close(DialogResult::Cancel);
    log_->Line("Cannot open file [" + line_.file + "]");
  }
  // Hands the images over and asks for the reboot; starts only with the port open.
  if (HV_Download()) phase_ = RunPhase::Armed;
}

}  // namespace app
