// DeviceRemoval and the questions about the open device.
#include <cstring>
#include <string>

#include "HvUsb.h"
#include "library_state.h"

using namespace hvusb;

extern "C" HV_API int DeviceRemoval(const char* path) {
  LibraryState& s = State();
  std::lock_guard serial(s.lifecycle);
  if (path != nullptr && s.deviceOpen.load()) {
    std::lock_guard lock(s.mutex);
    if (s.context.path != path) return 1;  // another device: the open one stays
  }
  s.ioAbort.store(true);
  s.taskCancel.store(true);
  s.version.store(kUnknownVersion);
  if (s.deviceOpen.load()) CloseDevice();
  return 1;
}

extern "C" HV_API int GetDeviceVidPid(int32_t* vendor, int32_t* product) {
  LibraryState& s = State();
  if (!s.deviceOpen.load()) return 0;
  std::array<uint8_t, 18> descriptor;
  {
    std::lock_guard lock(s.mutex);
    descriptor = s.context.deviceDescriptor;
  }
  if (vendor != nullptr) *vendor = descriptor[8] | (descriptor[9] << 8);
  if (product != nullptr) *product = descriptor[10] | (descriptor[11] << 8);
  return 1;
}

extern "C" HV_API int GetDeviceVersion(uint32_t* version) {
  const LibraryState& s = State();
  const uint32_t known = s.version.load();
  if (!s.deviceOpen.load() || known == kUnknownVersion) return 0;
  if (version != nullptr) *version = known;
  return 1;
}
