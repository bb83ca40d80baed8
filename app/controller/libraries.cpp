// The Libraries members as calls of the exports.
#include "libraries.h"

#include "HvUsb.h"
#include "NorraLink.h"
#include "penwick/usb_settings.hpp"

namespace app {

int32_t Libraries::GetPackedFlashData(uint8_t* destination) {
  return Dll_GetPackedFlashData(destination);
}
void Libraries::PutPackedFlashData(const uint8_t* source) {
  Dll_PutPackedFlashData(source);
}
int32_t Libraries::GetEepromData(uint8_t* destination) {
  return Dll_GetEepromData(destination);
}
void Libraries::PutEepromData(const uint8_t* source) {
  Dll_PutEepromData(source);
}
int32_t Libraries::GetModelIdFromPackedFlashData(const uint8_t* container, uint8_t* destination) {
  return Dll_GetModelIdFromPackedFlashData(container, destination);
}
uint16_t Libraries::GetSystemIdFromPackedFlashData(const uint8_t* container) {
  return Dll_GetSystemIdFromPackedFlashData(container);
}
int32_t Libraries::GetModelId(uint8_t* destination) {
  return Dll_GetModelId(destination);
}
uint16_t Libraries::GetSystemId() {
  return Dll_GetSystemId();
}
int32_t Libraries::UnPackFlashData(uint8_t* container, uint8_t* region) {
  return Dll_UnPackFlashData(container, region);
}
int32_t Libraries::PackFlashData(const uint8_t* region, uint8_t* container) {
  return Dll_PackFlashData(region, container);
}

int32_t Libraries::OpenSerialPort(const std::string& port, int32_t baud, int32_t portIndex) {
  return Dll_OpenSerialPort(port.c_str(), baud, portIndex);
}
int32_t Libraries::CloseSerialPort() {
  return Dll_CloseSerialPort();
}
int32_t Libraries::SerialDown(const std::string& folder, PwHwnd owner, int32_t completionCode) {
  return Dll_SerialDown(folder.c_str(), owner, completionCode);
}
int32_t Libraries::SerialUp(PwHwnd owner, int32_t completionCode) {
  return Dll_SerialUp(owner, completionCode);
}
int32_t Libraries::AutoReboot() {
  return Dll_AutoReboot();
}

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

int Libraries::InitDevice() {
  return ::InitDevice();
}
int Libraries::StartPnpNotice(PwHwnd window) {
  return ::StartPnpNotice(window);
}
int Libraries::DeviceArrival(const std::string& path) {
  return ::DeviceArrival(path.c_str());
}
int Libraries::DeviceRemoval(const std::string& path) {
  return ::DeviceRemoval(path.c_str());
}
int Libraries::GetDeviceVersion(uint32_t* version) {
  return ::GetDeviceVersion(version);
}

void Libraries::ReleaseUsbDevice() {
  ::DeviceRemoval(nullptr);
}

std::string Libraries::UsbNote() {
  return pw::usb::DriverNote();
}
bool Libraries::UsbReceiverConfigured() {
  return pw::usb::ReceiverConfigured();
}
std::string Libraries::UsbReceiverSettingsHelp() {
  return pw::usb::ReceiverSettingsHelp();
}

}  // namespace app
