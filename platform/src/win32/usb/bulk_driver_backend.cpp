// The bulk driver backend: the present interfaces of the receiver's class from the device
// installation services, notices from a device-notice window, sessions on the driver's files.
#include "bulk_driver_backend.hpp"

#include <windows.h>

#include <setupapi.h>

#include <cstring>
#include <new>

#include "bulk_driver_formats.hpp"
#include "bulk_driver_session.hpp"
#include "device_notices.hpp"

namespace pw::usb::bulk {
namespace {

GUID InterfaceClass() {
  GUID guid;
  std::memcpy(&guid, kInterfaceClass.data(), sizeof guid);
  return guid;
}

// The paths of the present interfaces of the receiver's class, in the order the system lists
// them. An interface whose detail cannot be had is left out.
std::vector<std::string> PresentInterfaces() {
  std::vector<std::string> paths;
  const GUID guid = InterfaceClass();
  HDEVINFO set =
      ::SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return paths;
  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    if (!::SetupDiEnumDeviceInterfaces(set, nullptr, &guid, index, &data)) break;
    DWORD size = 0;
    ::SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) continue;
    // Storage aligned for the record; nothing thrown across the library's C functions.
    std::unique_ptr<uint64_t[]> storage(new (std::nothrow) uint64_t[size / 8 + 1]);
    if (!storage) continue;
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.get());
    // The size of the record's fixed part, as this build lays it out (not the variable length).
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!::SetupDiGetDeviceInterfaceDetailA(set, &data, detail, size, nullptr, nullptr)) continue;
    const size_t room = size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    paths.push_back(CanonicalDevicePath(
        std::string_view(detail->DevicePath, ::strnlen(detail->DevicePath, room))));
  }
  ::SetupDiDestroyDeviceInfoList(set);
  return paths;
}

class BulkDriverBackend final : public Backend {
 public:
  ~BulkDriverBackend() override { Stop(); }

  std::string_view Name() const override { return "bulk driver"; }
  bool Owns(std::string_view devicePath) const override { return IsDriverPath(devicePath); }
  void Start(BackendSink* sink) override { notices_ = std::make_unique<DeviceNotices>(sink); }
  void Stop() override { notices_.reset(); }
  std::vector<std::string> Enumerate() override { return PresentInterfaces(); }
  std::unique_ptr<DeviceSession> Open(const std::string& devicePath, Status* status,
                                      std::string* message) override {
    return Session::Open(devicePath, status, message);
  }
  std::string Note() const override { return notices_ ? notices_->failure() : std::string(); }

 private:
  std::unique_ptr<DeviceNotices> notices_;
};

}  // namespace

std::unique_ptr<Backend> MakeBulkDriverBackend() {
  return std::make_unique<BulkDriverBackend>();
}

}  // namespace pw::usb::bulk
