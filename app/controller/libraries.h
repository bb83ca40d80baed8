// The library functions the controller calls, one virtual member each. The members forward to
// the two libraries' exports; tests replace the ones that reach a receiver (ports, sessions,
// devices) and keep the image stores and the codec real.
#pragma once

#include <cstdint>
#include <string>

#include "penwick/window.h"

namespace app {

class Libraries {
 public:
  virtual ~Libraries() = default;

  // Image stores and codec (transfer library).
  virtual int32_t GetPackedFlashData(uint8_t* destination);
  virtual void PutPackedFlashData(const uint8_t* source);
  virtual int32_t GetEepromData(uint8_t* destination);
  virtual void PutEepromData(const uint8_t* source);
  virtual int32_t GetModelIdFromPackedFlashData(const uint8_t* container, uint8_t* destination);
  virtual uint16_t GetSystemIdFromPackedFlashData(const uint8_t* container);
  virtual int32_t GetModelId(uint8_t* destination);
  virtual uint16_t GetSystemId();
  virtual int32_t UnPackFlashData(uint8_t* container, uint8_t* region);
  virtual int32_t PackFlashData(const uint8_t* region, uint8_t* container);

  // Serial link and sessions (transfer library).
  virtual int32_t OpenSerialPort(const std::string& port, int32_t baud, int32_t portIndex);
  virtual int32_t CloseSerialPort();
  virtual int32_t SerialDown(const std::string& folder, PwHwnd owner, int32_t completionCode);
  virtual int32_t SerialUp(PwHwnd owner, int32_t completionCode);
  virtual int32_t AutoReboot();

  // USB sessions (transfer library).
  virtual int32_t InitUsbFunc();
  virtual int32_t UsbDown(const std::string& folder, PwHwnd owner, int32_t completionCode);
  virtual int32_t UsbUp(PwHwnd owner, int32_t completionCode);
  virtual void CancelUsbFunc();

  // USB device (USB library).
  virtual int InitDevice();
  virtual int StartPnpNotice(PwHwnd window);
  virtual int DeviceArrival(const std::string& path);
  virtual int DeviceRemoval(const std::string& path);
  virtual int GetDeviceVersion(uint32_t* version);
  // Closes the open device, whichever it is, and aborts what waits on it. The front ends call
  // it when the run is over, while every thread still runs: on Windows the library's own exit
  // handler runs after the process's other threads have been ended, too late to close a
  // device whose I/O threads are gone.
  virtual void ReleaseUsbDevice();
  // What the USB driver has to tell the operator now: its settings name no receiver (or hold
  // unusable items), or why the last receiver could not be opened (permissions). Empty when
  // there is nothing to say.
  virtual std::string UsbNote();
  // Whether the USB driver's settings name any receiver (without one, none can ever arrive),
  // and how to name one.
  virtual bool UsbReceiverConfigured();
  virtual std::string UsbReceiverSettingsHelp();
};

}  // namespace app
