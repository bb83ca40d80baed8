// The window's command identifiers and the notice codes the controller chooses.
#pragma once

namespace app {

// Dialog commands and the service panel's controls.
enum ControlId : int {
  kCmdOk = 1,      // "Exit" (Enter)
  kCmdCancel = 2,  // Esc
  kStatusText = 1013,
  kProgressBar = 1012,
  kMessageList = 1002,
  kSerialOpen = 1000,
  kSerialClose = 1001,
  kDownLoad = 1003,
  kUpLoad = 1004,
  kUnpackFlash = 1005,
  kPackFlash = 1006,
  kGetPackedFlashData = 1007,
  kGetEepromData = 1008,
  kViewModelId = 1009,
  kViewSystemId = 1010,
  kFileOpen = 1011,
};

// System-menu command of the about box.
inline constexpr int kSysCmdAbout = 16;

// Notices the controller handles besides the library's own (NorraLink.h): the device-change
// handler's, and the completion codes the controller gives the sessions.
enum NoticeCode : int {
  kNoticeDeviceArrived = 3000,
  kNoticeDeviceRemoved = 3001,
  kNoticeSerialUpDone = 4002,
  kNoticeSerialDownDone = 4003,
  kNoticeUsbUpDone = 4012,
  kNoticeUsbDownDone = 4013,
};

}  // namespace app
