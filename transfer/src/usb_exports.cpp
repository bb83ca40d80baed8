// The exported USB functions: loading the USB library, the two USB sessions and the cancel.
#include "NorraLink.h"
#include "library_state.h"
#include "notifications.h"
#include "penwick/module_loader.hpp"
#include "session_state.h"
#include "usb_session.h"

using transfer::Session;

// The USB library's file name (libHvUsb.so.0, HvUsb.dll), set by the build.
constexpr const char* kUsbLibraryFile = PENWICK_USB_LIBRARY_FILE;

extern "C" {

int32_t Dll_InitUsbFunc(void) {
  Session().usbReady.store(0);
  if (!pw::LoadModule(kUsbLibraryFile)) return 0;
  Session().usbCancel.store(0);
  Session().usbReady.store(1);
  return 1;
}

int32_t Dll_UsbDown(const char* folder, PwHwnd owner, int32_t completionCode) {
  Session().SetFolder(folder != nullptr ? folder : "");
  transfer::RecordOwner(owner, completionCode);
  return transfer::StartUsbSession(transfer::UsbTransfer::Download);
}

int32_t Dll_UsbUp(PwHwnd owner, int32_t completionCode) {
  transfer::RecordOwner(owner, completionCode);
  if (!Session().Busy()) transfer::Stores().ClearImages();
  return transfer::StartUsbSession(transfer::UsbTransfer::Upload);
}

void Dll_CancelUsbFunc(void) {
  Session().usbCancel.store(1);
}

}  // extern "C"
