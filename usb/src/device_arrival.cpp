// DeviceArrival and TryDeviceOpen: open a receiver's device path, read its descriptors, walk
// its configuration and open one pipe per endpoint, choosing the first IN and the first OUT
// pipe for the transfers.
//
// One device at a time: while a usable device (both an IN and an OUT pipe) is open, another
// arrival is refused and the open one stays. A context left pending or half-open by a failed
// arrival, or an open device without both pipes, is released and replaced by the new one.
#include <cstring>
#include <string>

#include "HvUsb.h"
#include "config_walk.h"
#include "descriptors.h"
#include "library_state.h"
#include "pipe_engine.h"

namespace hvusb {
namespace {

using pw::usb::Handle;
using pw::usb::kInvalidHandle;

constexpr uint32_t kReadyValue = 1;

bool Usable() {
  const LibraryState& s = State();
  return s.in.pipe.load() != kInvalidHandle && s.out.pipe.load() != kInvalidHandle;
}

// Prepares a fresh context for `path` and sets the device-open mark.
void PrepareContext(const std::string& path) {
  LibraryState& s = State();
  {
    std::lock_guard lock(s.mutex);
    s.context = DeviceContext{};
    s.context.path = path;
  }
  s.deviceOpen.store(true);
}

// Opens pipe i for every endpoint until one fails; assigns the first IN and OUT pipes whose
// packet size is not 0.
void OpenPipes(const std::string& path, const ConfigLayout& layout) {
  LibraryState& s = State();
  for (unsigned i = 0; i < layout.numEndpoints; ++i) {
    const std::string pipePath = pw::usb::PipePath(path, i);
    if (pipePath.empty()) return;
    const pw::usb::OpenResult opened = Driver().Open(pipePath);
    if (opened.handle == kInvalidHandle) return;
    {
      std::lock_guard lock(s.mutex);
      s.context.pipes[i] = opened.handle;
    }
    const EndpointInfo& ep = layout.endpoints[i];
    if (ep.maxPacketSize == 0) continue;  // no pipe: nothing could ever be transferred
    TxInfo& tx = (ep.address & 0x80) != 0 ? s.in : s.out;
    if (tx.pipe.load() != kInvalidHandle) continue;
    tx.maxPacketSize.store(ep.maxPacketSize);
    tx.endpointAddress.store(ep.address);
    tx.pipe.store(opened.handle);
  }
}

// Steps after the path opened. Returns the result of the arrival.
int SetUpDevice(Handle device, const std::string& path) {
  LibraryState& s = State();
  const auto descriptor = GetDescriptor(device, 1, 0, 18);
  if (!descriptor || descriptor->size() < 18) return 0;
  {
    std::lock_guard lock(s.mutex);
    std::memcpy(s.context.deviceDescriptor.data(), descriptor->data(), 18);
  }
  auto configuration = GetConfiguration(device);
  if (!configuration) return 0;
  s.version.store(static_cast<uint32_t>((*descriptor)[12] | ((*descriptor)[13] << 8)));
  const auto layout = WalkConfiguration(*configuration);
  {
    std::lock_guard lock(s.mutex);
    s.context.configuration = std::move(*configuration);
  }
  if (!layout) return 0;

  for (uint8_t index : {(*descriptor)[14], (*descriptor)[15], (*descriptor)[16]}) {
    if (index != 0) GetDescriptor(device, 3, index, 256);  // texts not kept
  }
  OpenPipes(path, *layout);
  uint32_t value = kReadyValue;
  Driver().IoControl(device, pw::usb::kIoctlSetDeviceValue, &value, sizeof value, &value,
                     sizeof value, nullptr);
  GetDriverInfo();
  // A device without endpoints arrives; one with endpoints must have both pipes.
  return layout->numEndpoints == 0 || Usable() ? 1 : 0;
}

}  // namespace
}  // namespace hvusb

using namespace hvusb;

extern "C" HV_API int DeviceArrival(const char* path) {
  LibraryState& s = State();
  std::lock_guard serial(s.lifecycle);
  std::string target;
  if (path != nullptr) {
    target = path;
  } else {
    std::lock_guard lock(s.mutex);
    target = s.rememberedPath;
  }
  if (target.empty() || target.size() > pw::usb::kMaxDevicePathLength) return 0;

  if (s.deviceOpen.load()) {
    if (Usable()) return 0;  // keep the working device
    CloseDevice();           // a failed or unusable arrival gives way
    s.version.store(kUnknownVersion);
  }
  PrepareContext(target);

  const pw::usb::OpenResult opened = Driver().Open(target);
  if (opened.handle == kInvalidHandle) {
    s.pendingOpen.store(true);
    std::lock_guard lock(s.mutex);
    s.rememberedPath = target;
    return 0;
  }
  s.pendingOpen.store(false);
  {
    std::lock_guard lock(s.mutex);
    s.context.device = opened.handle;
  }
  return SetUpDevice(opened.handle, target);
}

extern "C" HV_API int TryDeviceOpen(void) {
  LibraryState& s = State();
  std::lock_guard serial(s.lifecycle);
  if (!s.pendingOpen.load()) return 0;
  std::string target;
  {
    std::lock_guard lock(s.mutex);
    target = s.rememberedPath;
  }
  const pw::usb::OpenResult opened = Driver().Open(target);
  if (opened.handle == kInvalidHandle) return 0;
  Driver().Close(opened.handle);
  return 1;
}
