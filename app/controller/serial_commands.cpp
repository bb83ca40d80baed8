// The serial commands: opening and closing the port, uploads and downloads.
#include "control_ids.h"
#include "controller.h"

namespace app {

namespace {
constexpr int kBaud = 115200;
}

void UploadController::OnSerialOpen() {
  ControllerState& s = *state_;
  if (s.serialOpened) return;
  const int32_t result = libs_.OpenSerialPort(line_.port, kBaud, run_.number - 1);
  s.serialOpened = false;
  if (result == 1) {
    AddMessage("OnSerialOpen() : Open Success");
    s.serialOpened = true;
    view_.EnableControl(kUpLoad, true);
    view_.EnableControl(kDownLoad, s.uploadSuccess || s.fileLoaded);
    return;
  }
  if (result == -1) {
    AddMessage("OnSerialOpen() : Fail ");
  } else if (result == 0) {
    AddMessage("OnSerialOpen() : Aleady Opened!");
  } else {
    AddMessage("OnSerialOpen() : Unkown status");
  }
  view_.EnableControl(kUpLoad, false);
  view_.EnableControl(kDownLoad, false);
  EnableFunctions(s.uploadSuccess);
}

void UploadController::OnSerialClose() {
  ControllerState& s = *state_;
  if (!s.serialOpened) return;
  libs_.CloseSerialPort();
  s.serialOpened = false;
  view_.EnableControl(kUpLoad, false);
  view_.EnableControl(kDownLoad, false);
  AddMessage("OnSerialClose() m_bUploadSuccess == %s", s.uploadSuccess ? "TRUE" : "FALSE");
  EnableFunctions(s.uploadSuccess);
  AddMessage("OnSerialClose() : Port Close ");
}

bool UploadController::HV_Upload() {
  ControllerState& s = *state_;
  libs_.AutoReboot();
  if (!s.serialOpened) return false;
  AddMessage("HV_Upload : SerialUp(m_PackedFlashData,m_EepromData) Call");
  const bool started = libs_.SerialUp(handle(), kNoticeSerialUpDone) != 0;
  AddMessage("HV_Upload() : m_bUploadSuccess == %s", s.uploadSuccess ? "TRUE" : "FALSE");
  EnableFunctions(s.uploadSuccess);
  return started;
}

void UploadController::OnHvup() {
  state_->fileLoaded = false;
  const bool started = HV_Upload();
  AddMessage("OnHvup : %s", started ? "True" : "False");
  if (!started) return;
  AddMessage("Waiting For Request. \r\nReboot SetTop Box!!");
}

bool UploadController::HV_Download() {
  PutImages();
  libs_.AutoReboot();
  if (!state_->serialOpened) return false;
  AddMessage("HV_Download : SerialUp(m_PackedFlashData,m_EepromData) Call");
  const bool started = libs_.SerialDown(state_->workDir, handle(), kNoticeSerialDownDone) != 0;
  EnableFunctions(false);
  return started;
}

// Downloads the flash region as it is now: only a region that an unpack or an upload filled
// and that packs into an image, so the receiver never gets an empty or stale one.
void UploadController::OnHvdown() {
  ControllerState& s = *state_;
  if (!s.regionFilled) {
    AddMessage(
        "OnHvdown : no flash region to download: unpack a packed image or upload from "
        "the receiver first");
    return;
  }
  if (libs_.PackFlashData(s.unpacked.data(), s.packed.data()) != 1) {
    AddMessage("OnHvdown : the flash region cannot be packed into an image; nothing is sent");
    return;
  }
  const bool started = HV_Download();
  AddMessage("OnHvdown : %s", started ? "True" : "False");
  if (!started) return;
  AddMessage("Waiting For Request. \r\nReboot SetTop Box!!");
}

}  // namespace app
