// The reactions to the libraries' notices and to device changes.
#include <chrono>
#include <thread>

#include "NorraLink.h"
#include "control_ids.h"
#include "controller.h"
#include "penwick/local_file.hpp"
#include "penwick/message_box.hpp"

namespace app {

namespace {

const char* ErrorText(int code) {
  switch (code) {
    case NL_NOTIFY_BAD_PACKED_DATA:
      return "ERROR : Not match packed CRC or invalid data!!";
    case NL_NOTIFY_DOWNLOAD_ERROR:
      return "ERROR : Download Error!!";
    case NL_NOTIFY_BAD_DATA_TYPE:
      return "ERROR : Invalid Data Type!!";
    default:
      return "ERROR : Invalid ModelId or SystemId!!";
  }
}

}  // namespace

std::string ProgressStatusText(ProgressKind kind, int percent) {
  const char* what = kind == ProgressKind::Download      ? "Writing "
                     : kind == ProgressKind::UploadFlash ? "Reading flash "
                                                         : "Reading EEPROM ";
  return what + std::to_string(percent) + "%";
}

bool UploadController::OnNotice(int code, intptr_t value) {
  ControllerState& s = *state_;
  const int percent = static_cast<int>(value);
  switch (code) {
    case NL_NOTIFY_BAD_PACKED_DATA:
    case NL_NOTIFY_DOWNLOAD_ERROR:
    case NL_NOTIFY_BAD_DATA_TYPE:
    case NL_NOTIFY_BAD_MODEL_ID:
      if (code == NL_NOTIFY_DOWNLOAD_ERROR) downloadFileError_ = true;
      view_.MessageBox(ErrorText(code), "ERROR", pw::kMbOk);
      return true;
    case kNoticeDeviceArrived:
      OnDeviceArrived();
      return true;
    case kNoticeDeviceRemoved:
      return true;
    case kNoticeSerialUpDone:
      OnSerialUpDone(value);
      return true;
    case kNoticeSerialDownDone:
      OnSerialDownDone(value);
      return true;
    case NL_NOTIFY_UP_FLASH_PERCENT:
      ShowProgress(ProgressKind::UploadFlash, "UpLoad Flash %d%%", percent);
      if (percent < 100) s.uploadSuccess = false;
      return true;
    case NL_NOTIFY_UP_EEPROM_PERCENT:
      ShowProgress(ProgressKind::UploadEeprom, "UpLoad EEPROM %d%%", percent);
      return true;
    case NL_NOTIFY_DOWN_PERCENT:
      ShowProgress(ProgressKind::Download, "DownLoad %d%%", percent);
      return true;
    case kNoticeUsbUpDone:
      OnUsbUpDone(value);
      return true;
    case kNoticeUsbDownDone:
      OnUsbDownDone(value);
      return true;
    default:
      return false;
  }
}

void UploadController::OnDeviceArrived() {
  ControllerState& s = *state_;
  uint32_t version = 0;
  if (libs_.GetDeviceVersion(&version) != 0) s.deviceVersion = static_cast<uint16_t>(version);
  AddMessage("version => 0x%04x", s.deviceVersion);
  // Only an armed USB run starts, once: a receiver present during start-up, or arriving again
  // while the transfer runs, starts nothing.
  if (phase_ != RunPhase::Armed || run_.mode == RunMode::SerialDownload) return;
  const bool download = run_.mode == RunMode::UsbDownload;
  AddMessage(download ? "Start! download!" : "Start! upload!");
  const int32_t started = download ? libs_.UsbDown(s.workDir, handle(), kNoticeUsbDownDone)
                                   : libs_.UsbUp(handle(), kNoticeUsbUpDone);
  if (started == 1) {
    phase_ = RunPhase::Running;
    view_.SetStatusText(download ? "Writing the settings into the receiver"
                                 : "Reading the settings from the receiver");
  } else {
    RefusedStart(download ? "download" : "upload");
  }
}

// A USB start that the library refused ends the run: nothing else would start it.
void UploadController::RefusedStart(const char* what) {
  if (downloadFileError_) {
    AddMessage("The download file could not be written in %s", state_->workDir.c_str());
    Finish({pw::cli::kExitTransferFailed,
            "the download file could not be written in " + state_->workDir,
            "run the program from a folder you can write to"});
  } else {
    AddMessage("The receiver refused the USB %s: the opening exchange failed", what);
    Finish({pw::cli::kExitRefused,
            std::string("the receiver did not take the USB ") + what +
                " (the opening exchange failed)",
            "reboot the receiver and run the program again"});
  }
}

void UploadController::OnSerialUpDone(intptr_t value) {
  ControllerState& s = *state_;
  if (value == NL_SERIAL_UP_DONE) {
    s.uploadSuccess = true;
    AddMessage("Serial Upload Success!");
    if (view_.MessageBox("Serial Upload Success, Reboot Settop Box", "Notice", pw::kMbYesNo) ==
        pw::kIdYes) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1000));
      if (libs_.AutoReboot() != 0) {
        AddMessage("The reboot request could not be sent: reboot the receiver by hand");
      }
    }
    libs_.GetPackedFlashData(s.packed.data());
    libs_.GetEepromData(s.eeprom.data());
    UnpackCopy();
  } else {
    AddMessage("Serial Upload Fail!");
  }
  OnSerialClose();
  EnableFunctions(s.uploadSuccess);
}

void UploadController::OnSerialDownDone(intptr_t value) {
  if (value == NL_SERIAL_DOWN_DONE) {
    // The receiver has the settings either way; without the request it restarts by hand.
    const bool rebootSent = libs_.AutoReboot() == 0;
    Finish({pw::cli::kExitOk,
            "the serial download completed: the receiver has the settings of " + line_.file +
                (rebootSent ? ""
                            : "; the reboot request could not be sent: reboot the receiver"
                              " by hand"),
            ""});
  } else {
    AddMessage("Serial Download Fail!");
    Finish({pw::cli::kExitTransferFailed, "the serial download failed",
            "check the cable and the port, reboot the receiver and run the program again"});
  }
  OnSerialClose();
  EnableFunctions(state_->uploadSuccess);
}

void UploadController::OnUsbDownDone(intptr_t value) {
  if (value == NL_USB_DOWN_DONE) {
    AddMessage("USB Download Success!");
    libs_.AutoReboot();
    Finish({pw::cli::kExitOk,
            "the USB download completed: the receiver has the settings of " + line_.file, ""});
    libs_.CancelUsbFunc();
  } else {
    AddMessage("USB Download Fail!");
    Finish({pw::cli::kExitTransferFailed,
            "the USB download failed (the receiver stopped answering or was removed)",
            "check the cable, reboot the receiver and run the program again"});
  }
}

void UploadController::OnUsbUpDone(intptr_t value) {
  ControllerState& s = *state_;
  if (value != NL_USB_UP_DONE) {
    AddMessage("USB Upload Fail!");
    Finish({pw::cli::kExitTransferFailed,
            "the USB upload failed (the receiver stopped answering or was removed); " + line_.file +
                " is unchanged",
            "check the cable, reboot the receiver and run the program again"});
    return;
  }
  AddMessage("USB Upload Success!");
  libs_.GetPackedFlashData(s.packed.data());
  libs_.GetEepromData(s.eeprom.data());
  const bool unpacks = UnpackCopy();
  if (phase_ == RunPhase::Ending) {
    // The operator cancelled: the file stays as it was.
    AddMessage("Cancelled: %s is unchanged", line_.file.c_str());
    StopWaiting();
    return;
  }
  if (!unpacks) {
    KeepUnusableUpload();
    return;
  }
  if (SaveTransferFile()) {
    Finish({pw::cli::kExitOk,
            "the USB upload completed: " + line_.file + " holds the receiver's settings", ""});
  }
}

// Received images that cannot go into the transfer file are kept in a file of the saved
// upload's layout: beside the transfer file where possible, else in the work folder, else in
// the temporary folder.
std::string UploadController::KeepReceived(std::string* error) {
  const ControllerState& s = *state_;
  const std::string name = pw::files::NameOf(line_.file) + ".received";
  const std::string candidates[] = {
      line_.file + ".received",
      pw::files::PathIn(s.workDir, name),
      pw::files::PathIn(pw::files::TemporaryFolder(), name),
  };
  for (const std::string& path : candidates) {
    *error = pw::files::ReplaceFile(
        path, {std::span<const uint8_t>(s.packed), std::span<const uint8_t>(s.eeprom)});
    if (error->empty()) {
      AddMessage("The received images are kept in %s", path.c_str());
      return path;
    }
  }
  return {};
}

// An upload whose packed image does not unpack would replace the user's file with one that
// cannot be used: the file stays, and what came is kept beside it.
void UploadController::KeepUnusableUpload() {
  std::string error;
  const std::string kept = KeepReceived(&error);
  const std::string where = kept.empty() ? "the received images could not be kept (" + error + ")"
                                         : "the received images are in " + kept;
  AddMessage("The received packed image does not unpack; %s is unchanged, %s", line_.file.c_str(),
             where.c_str());
  Finish({pw::cli::kExitTransferFailed,
          "the receiver's packed image does not unpack (damaged, or the receiver reported no "
          "flash data); " +
              line_.file + " is unchanged and " + where,
          "reboot the receiver and run the upload again"});
}

intptr_t UploadController::OnDeviceChange(const pw::Message& message) {
  pw::Message notice;
  if (message.event == pw::kDeviceArrival) {
    if (libs_.DeviceArrival(message.devicePath) != 0) {
      notice.code = kNoticeDeviceArrived;
      pw::SendMessage(handle(), notice);
    }
    return 1;
  }
  if (message.event == pw::kDeviceRemoveComplete) {
    notice.code = kNoticeDeviceRemoved;
    pw::SendMessage(handle(), notice);
    libs_.DeviceRemoval(message.devicePath);
    return 1;
  }
  return 0;
}

}  // namespace app
