// Start-up: the initial look, the work folder (cleared of download files an earlier run left),
// the log, and arming or starting the run that the port text selects.
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "NorraLink.h"
#include "control_ids.h"
#include "controller.h"
#include "penwick/local_file.hpp"
#include "penwick/message_box.hpp"
#include "penwick/serial_port.hpp"
#include "upload_log.h"

namespace app {
namespace {

// Whether `name` is a download file or the temporary it is first written as.
bool IsDownloadFileName(const std::string& name) {
  const std::string file = NL_DOWNLOAD_FILE_NAME;
  const std::string temporary = file + NL_DOWNLOAD_FILE_PART;
  if (name == file) return true;
  if (name.size() <= temporary.size() || name.compare(0, temporary.size(), temporary) != 0)
    return false;
  return name.find_first_not_of("0123456789", temporary.size()) == std::string::npos;
}

// A run ended at once during a download (a second stop signal, a kill) leaves its download
// file in the work folder; nothing reads it again, so the next run removes it. Only regular
// files are touched.
void RemoveDownloadLeftovers(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  for (fs::directory_iterator it(folder.empty() ? "." : folder, error), end; !error && it != end;
       it.increment(error)) {
    std::error_code ignored;
    if (IsDownloadFileName(it->path().filename().string()) &&
        fs::is_regular_file(it->symlink_status(ignored)))
      fs::remove(it->path(), ignored);
  }
}

}  // namespace

void UploadController::Startup() {
  ControllerState& s = *state_;
  if (line_.posX != 0 && line_.posY != 0) view_.Move(line_.posX, line_.posY);
  s.serialOpened = false;
  s.uploadSuccess = false;
  s.fileLoaded = false;
  view_.EnableControl(kUpLoad, false);
  view_.EnableControl(kDownLoad, false);
  EnableFunctions(s.uploadSuccess);
  const auto folder = pw::files::CurrentFolder();
  s.workDir = folder.value_or("");
  RemoveDownloadLeftovers(s.workDir);
  AddMessage("%s", s.workDir.c_str());
  s.packed.fill(0);
  s.unpacked.fill(0);
  s.eeprom.fill(0);
  s.modelId.fill(0);

  bool armed = false;
  UploadLog log;
  if (!log.Open(kLogFileName, std::time(nullptr))) {
    const std::string reason = std::string("cannot create the log file ") + kLogFileName + " in " +
                               (folder ? *folder : "the current folder") + ": " +
                               std::strerror(errno);
    AddMessage("%s", reason.c_str());
    view_.MessageBox("Nothing is armed: " + reason, "PenwickUpload",
                     pw::kMbOk | pw::kMbIconWarning);
    Fail({pw::cli::kExitLogFile, reason, "run the program from a folder you can write to"});
  } else {
    s.initialDir = folder.value_or(pw::files::FallbackFolder());
    log_ = &log;
    if (line_.file.empty()) {
      log.Line("No input filename");
      Fail({pw::cli::kExitNoTransferFile, "no transfer file was given",
            "name it with -f, for example: PenwickUpload -fsettings.dat -pCOM0"});
    } else if (run_.mode == RunMode::UsbDownload) {
      armed = StartUsbDownload();
    } else if (run_.mode == RunMode::UsbUpload) {
      armed = StartUsbUpload();
    } else {
      armed = StartSerialDownload();
    }
    log_ = nullptr;
    log.Close();
  }
  if (closeWith_) {
    const DialogResult result = *closeWith_;
    closeWith_.reset();
    phase_ = RunPhase::Ended;
    Close(result);
  } else if (armed) {
    phase_ = RunPhase::Armed;
    view_.SetStatusText(kRebootStatus);
  } else {
    phase_ = RunPhase::Ended;
  }
}

bool UploadController::InitUsb() {
  if (libs_.InitUsbFunc() != 1) {
    log_->Line("Initializing USB Failed");
    Fail({pw::cli::kExitUsbUnavailable, "the USB functions could not be initialised",
          "check that libHvUsb is installed beside libNorraLink"});
    return false;
  }
  // Without a receiver configured nothing could ever arrive: waiting would be for ever.
  if (!libs_.UsbReceiverConfigured()) {
    log_->Line("Initializing USB Failed: no USB receiver is configured");
    AddMessage("USB unavailable: no USB receiver is configured");
    Fail({pw::cli::kExitUsbUnavailable, "USB unavailable: no USB receiver is configured",
          libs_.UsbReceiverSettingsHelp()});
    return false;
  }
  return true;
}

// Prepares the USB library and registers the window for device changes. A receiver already
// attached is reported now (its version), but the transfer starts at its next arrival, after
// the reboot: the run is armed when start-up has finished.
void UploadController::StartUsbNotices() {
  libs_.InitDevice();
  if (libs_.StartPnpNotice(handle()) != 0) {
    pw::Message arrived;
    arrived.code = kNoticeDeviceArrived;
    pw::SendMessage(handle(), arrived);
  }
  log_->Line("Initializing USB Success");
}

bool UploadController::StartUsbDownload() {
  std::string why;
  const bool loaded = LoadTransferFile(&why);
  if (!loaded) log_->Line(why);
  log_->Line("Download USB");
  if (!InitUsb()) return false;
  StartUsbNotices();
  PutImages();
  // Nothing unreadable, incomplete or damaged is ever sent.
  return loaded;
}

// The received images go into the transfer file: a file that cannot be written there is
// refused before anything is armed, so no upload is lost.
bool UploadController::UploadDestinationWritable() {
  const std::string problem = pw::files::CheckReplaceable(line_.file);
  if (problem.empty()) return true;
  log_->Line("Cannot write file [" + line_.file + "]");
  AddMessage("Nothing is read: %s", problem.c_str());
  Fail({pw::cli::kExitCannotWriteFile, problem,
        "name with -f a file in a folder that exists and that you can write to"});
  return false;
}

bool UploadController::StartUsbUpload() {
  log_->Line("Download USB");
  if (!UploadDestinationWritable()) return false;
  if (!InitUsb()) return false;
  StartUsbNotices();
  return true;
}

bool UploadController::StartSerialDownload() {
  std::string why;
  if (LoadTransferFile(&why)) {
    OnSerialOpen();
    if (!state_->serialOpened) {
      log_->Line("Cannot open comm port [" + line_.port + "]");
      Fail({pw::cli::kExitPortUnavailable,
            "cannot open the serial port " + line_.port + " (" +
                pw::ResolveSerialPortName(line_.port) + ")",
            "check the port: COMn is /dev/ttyS<n-1> unless PENWICK_COMn names its device; "
            "you may need to be in the dialout group"});
    }
  } else {
    log_->Line(why);
  }
  // Hands the images over and asks for the reboot; starts only with the port open.
  return HV_Download();
}

}  // namespace app
