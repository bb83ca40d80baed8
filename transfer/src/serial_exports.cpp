// The exported serial functions: opening and closing the port, the two serial sessions and
// the reboot request.
#include <string>

#include "NorraLink.h"
#include "frames.h"
#include "library_state.h"
#include "notifications.h"
#include "serial_comm.h"
#include "serial_session.h"
#include "session_state.h"

using transfer::Session;

extern "C" {

// Nothing reads the port index: the name alone picks the port.
int32_t Dll_OpenSerialPort(const char* portName, int32_t baud, int32_t /*portIndex*/) {
  int closed = 0;
  if (!Session().portOpen.compare_exchange_strong(closed, 1)) return 0;
  const bool opened =
      transfer::OpenSerialLink(portName != nullptr ? portName : "", static_cast<uint32_t>(baud));
  if (!opened) Session().portOpen.store(0);
  return opened ? 1 : -1;
}

int32_t Dll_CloseSerialPort(void) {
  Session().portOpen.store(0);
  // Only a serial session ends with the port: a USB session keeps its busy flag.
  Session().ReleaseLink(transfer::Link::Serial);
  Session().serialUploadGuard.store(0);
  Session().downloadPercent.store(-1);
  Session().uploadPercent.store(-1);
  // Closing wakes the watch thread and a worker sleeping on the queue; it waits for neither,
  // since a worker may be inside the notification whose handler is closing the port.
  transfer::CloseSerialLink();
  return -1;
}

int32_t Dll_SerialDown(const char* folder, PwHwnd owner, int32_t completionCode) {
  Session().SetFolder(folder != nullptr ? folder : "");
  transfer::RecordOwner(owner, completionCode);
  Session().success.store(0);
  return transfer::StartSerialSession(&transfer::SerialDownloadWorker);
}

int32_t Dll_SerialUp(PwHwnd owner, int32_t completionCode) {
  transfer::RecordOwner(owner, completionCode);
  if (!Session().Busy()) transfer::Stores().ClearImages();
  Session().success.store(0);
  return transfer::StartSerialSession(&transfer::SerialUploadWorker);
}

int32_t Dll_AutoReboot(void) {
  const auto link = transfer::CurrentSerialLink();
  if (!link || Session().portOpen.load() == 0) return -1;
  const uint8_t reboot[3] = {0, transfer::CMD_REBOOT, 0};
  return link->SendPacket(reboot);
}

}  // extern "C"
