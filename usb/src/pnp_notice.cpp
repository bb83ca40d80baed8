// StartPnpNotice: registers the program's window for arrival and removal notices of receiver
// interfaces and opens a receiver that is already present.
#include "HvUsb.h"
#include "library_state.h"

using namespace hvusb;

extern "C" HV_API int StartPnpNotice(PwHwnd window) {
  LibraryState& s = State();
  // The registration is kept for the life of the process; a second call adds another.
  s.noticeRegistration.store(Driver().RegisterNotices(window));
  int result = 0;
  for (const std::string& path : Driver().Enumerate()) {
    if (DeviceArrival(path.c_str()) != 0) result = 1;
  }
  return result;
}
