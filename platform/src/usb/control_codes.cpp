// The driver's control codes on a device handle: version and build queries, the last status,
// the per-device value, and control requests in two stages (setup, then data). A backend in
// front of a real driver answers the first four itself; the core answers them for the others.
#include <algorithm>
#include <cstring>

#include "driver_core.hpp"

namespace pw::usb {
namespace {

#ifdef NDEBUG
constexpr uint32_t kCheckedBuild = 0;
#else
constexpr uint32_t kCheckedBuild = 1;
#endif

}  // namespace

Status Driver::IoControl(Handle handle, uint32_t code, const void* in, size_t inSize, void* out,
                         size_t outSize, size_t* returned) {
  if (returned) *returned = 0;
  std::shared_ptr<HandleEntry> entry;
  std::shared_ptr<DeviceSession> session;
  {
    std::lock_guard lock(mutex_);
    auto found = handles_.find(handle);
    if (found == handles_.end()) return Status::InvalidHandle;
    entry = found->second;
    if (entry->isPipe) return Status::InvalidParameter;
    session = entry->device->session;
  }
  auto& device = *entry->device;
  if (code != kIoctlControlSetup && code != kIoctlControlData && session) {
    // A real driver behind the backend answers its own requests.
    Status status = Status::NotSupported;
    const std::span<const uint8_t> input(static_cast<const uint8_t*>(in), in ? inSize : 0);
    const std::span<uint8_t> output(static_cast<uint8_t*>(out), out ? outSize : 0);
    if (session->DriverRequest(code, input, output, returned, &status)) return status;
  }
  auto put32 = [&](uint32_t value) {
    if (!out || outSize < 4) return Status::InvalidParameter;
    std::memcpy(out, &value, 4);
    if (returned) *returned = 4;
    return Status::Success;
  };
  switch (code) {
    case kIoctlGetDriverVersion:
      return put32(kDriverVersion);
    case kIoctlIsCheckedBuild:
      return put32(kCheckedBuild);
    case kIoctlGetLastStatus: {
      // The last bulk request's failure when it has one, else the last control failure.
      RequestPtr last;
      {
        std::lock_guard lock(mutex_);
        last = device.lastRequest;
      }
      if (last && last->Done() && last->status() != Status::Success) {
        return put32(static_cast<uint32_t>(last->status()));
      }
      return put32(static_cast<uint32_t>(device.lastStatus.load()));
    }
    case kIoctlSetDeviceValue: {
      if (!in || inSize < 4) return Status::InvalidParameter;
      uint32_t value = 0;
      std::memcpy(&value, in, 4);
      uint32_t previous = 0;
      {
        std::lock_guard lock(mutex_);
        previous = device.value;
        device.value = value;
      }
      if (out && outSize >= 4) return put32(previous);
      return Status::Success;
    }
    case kIoctlControlSetup: {
      if (!in || inSize < 8) return Status::InvalidParameter;
      std::array<uint8_t, 8> setup{};
      std::memcpy(setup.data(), in, 8);
      {
        std::lock_guard lock(mutex_);
        entry->setup = setup;
      }
      if (out && outSize >= 8) {
        std::memmove(out, setup.data(), 8);
        if (returned) *returned = 8;
      }
      return Status::Success;
    }
    case kIoctlControlData:
      return ControlDataStage(*entry, session, in, inSize, out, outSize, returned);
    default:
      return Status::NotSupported;
  }
}

// Runs the setup packet stored on the handle; the setup is used once.
Status Driver::ControlDataStage(HandleEntry& entry, const std::shared_ptr<DeviceSession>& session,
                                const void* in, size_t inSize, void* out, size_t outSize,
                                size_t* returned) {
  auto& device = *entry.device;
  std::optional<std::array<uint8_t, 8>> setup;
  {
    std::lock_guard lock(mutex_);
    setup.swap(entry.setup);
    if (device.gone) return Status::NoDevice;
  }
  if (!setup) return Status::InvalidParameter;
  const size_t wLength = static_cast<size_t>((*setup)[6] | ((*setup)[7] << 8));
  const bool deviceToHost = ((*setup)[0] & 0x80) != 0;
  std::vector<uint8_t> data(wLength);
  if (deviceToHost && wLength > 0 && (!out || outSize < wLength)) {
    return Status::InvalidParameter;
  }
  if (!deviceToHost && wLength > 0) {
    if (!in || inSize < wLength) return Status::InvalidParameter;
    std::memcpy(data.data(), in, wLength);
  }
  if (!session) return Status::NoDevice;
  size_t got = 0;
  const Status status = session->Control(*setup, data, &got, ControlTimeout());
  if (status != Status::Success) {
    device.lastStatus.store(static_cast<int32_t>(status));
    return status;
  }
  got = std::min(got, wLength);
  if (deviceToHost && wLength > 0) {
    std::memset(out, 0, wLength);
    std::memcpy(out, data.data(), got);
  }
  if (returned) *returned = got;
  return Status::Success;
}

}  // namespace pw::usb
