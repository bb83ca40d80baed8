// The library's process-wide state and the closing steps shared by removal and exit.
#include "library_state.h"

#include "transfer_plan.h"

namespace hvusb {

LibraryState& State() {
  // Never destroyed: the exit handler and late transfers may still use it while the process
  // ends.
  static auto* state = new LibraryState;
  return *state;
}

pw::usb::Driver& Driver() {
  return pw::usb::Driver::Process();
}

bool SwappedMode() {
  const LibraryState& s = State();
  return s.deviceOpen.load() && IsSwappedVersion(s.version.load());
}

void CloseDevice() {
  LibraryState& s = State();
  // Transfers stop using the pipes before the handles close; a transfer that already copied
  // a handle gets failures from the driver, never another device's pipe (handles are not
  // reused).
  s.out.pipe.store(pw::usb::kInvalidHandle);
  s.out.maxPacketSize.store(0);
  s.out.endpointAddress.store(0);
  s.in.pipe.store(pw::usb::kInvalidHandle);
  s.in.maxPacketSize.store(0);
  s.in.endpointAddress.store(0);

  DeviceContext closing;
  {
    std::lock_guard lock(s.mutex);
    closing = std::move(s.context);
    s.context = DeviceContext{};
  }
  for (pw::usb::Handle pipe : closing.pipes) {
    if (pipe != pw::usb::kInvalidHandle) Driver().Close(pipe);
  }
  if (closing.device != pw::usb::kInvalidHandle) Driver().Close(closing.device);
  s.deviceOpen.store(false);
}

}  // namespace hvusb
