// The Libraries members of the USB sessions as calls of the transfer library's exports.
#include "NorraLink.h"
#include "libraries.h"

namespace app {

int32_t Libraries::InitUsbFunc() {
  return Dll_InitUsbFunc();
}
int32_t Libraries::UsbDown(const std::string& folder, PwHwnd owner, int32_t completionCode) {
  return Dll_UsbDown(folder.c_str(), owner, completionCode);
}
int32_t Libraries::UsbUp(PwHwnd owner, int32_t completionCode) {
  return Dll_UsbUp(owner, completionCode);
}
void Libraries::CancelUsbFunc() {
  Dll_CancelUsbFunc();
}

}  // namespace app
