// Temporary: the transfer library on this branch has no USB sessions yet, so USB reports
// itself unusable (Dll_InitUsbFunc's "not usable"). Replaced by the real calls when the
// library has them.
#include "libraries.h"

namespace app {

int32_t Libraries::InitUsbFunc() {
  return 0;
}
int32_t Libraries::UsbDown(const std::string&, PwHwnd, int32_t) {
  return 0;
}
int32_t Libraries::UsbUp(PwHwnd, int32_t) {
  return 0;
}
void Libraries::CancelUsbFunc() {}

}  // namespace app
