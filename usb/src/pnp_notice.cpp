// StartPnpNotice: registers the program's window for arrival and removal notices of receiver
// interfaces and opens a receiver that is already present.
#include "HvUsb.h"
#include "library_state.h"

using namespace hvusb;

extern "C" HV_API int StartPnpNotice(PwHwnd window) {
  LibraryState& s = State();
  // One registration at a time: a second call moves the notices to its window, so no window
  // gets each notice twice.
  const uint32_t previous = s.noticeRegistration.exchange(Driver().RegisterNotices(window));
  if (previous != 0) Driver().UnregisterNotices(previous);
  int result = 0;
  for (const std::string& path : Driver().Enumerate()) {
    if (DeviceArrival(path.c_str()) != 0) result = 1;
  }
  return result;
}
