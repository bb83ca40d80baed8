// What the USB driver can see, for PenwickUpload --list: every device attached to this machine
// (read from the descriptors libusb and sysfs already hold, without opening it) and every
// device that the USB/IP servers of PENWICK_USBIP export, each with whether it has the
// receiver's shape, whether the settings name it, and why it cannot be used.
//
// A local device is opened only when the settings name it or it has the receiver's shape, and
// then only to learn whether the system lets this user open it: it is closed at once, nothing
// is claimed and no kernel driver is detached. A device that another kernel driver holds is
// not opened at all.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "penwick/platform_api.h"
#include "penwick/usb_config_walk.hpp"
#include "penwick/usb_driver.hpp"

namespace pw::usb {

struct UsbId;
struct UsbipServer;

// A local device as the system describes it without opening it.
struct LocalDeviceFacts {
  std::string path;  // "usb:<bus>-<port path>"
  uint16_t vendor = 0;
  uint16_t product = 0;
  uint16_t bcdDevice = 0;
  std::string name;                  // manufacturer and product as sysfs has them (may be empty)
  std::optional<DeviceShape> shape;  // nullopt when its configuration cannot be read
  std::string driver;                // the driver bound to interface 0; empty when none
};

// Where the local devices come from: libusb and sysfs, or a recorded set in tests.
class PW_PLATFORM_API LocalDeviceSource {
 public:
  virtual ~LocalDeviceSource() = default;
  // Every attached device except the root hubs.
  virtual std::vector<LocalDeviceFacts> List() = 0;
  // Opens the device at `path` and closes it again: Success, AccessDenied or another failure
  // with `message` saying what happened. Never claims or detaches anything.
  virtual Status TryOpen(const std::string& path, std::string* message) = 0;
};

// libusb's devices with sysfs's names and drivers. Null, with `why`, when libusb cannot start.
PW_PLATFORM_API std::unique_ptr<LocalDeviceSource> MakeLibusbDeviceSource(std::string* why);

// One device of the list, local or exported by a USB/IP server.
struct ListedDevice {
  std::string path;
  uint16_t vendor = 0;
  uint16_t product = 0;
  uint16_t bcdDevice = 0;
  std::string name;
  bool shapeKnown = false;            // its configuration could be read
  bool receiverShape = false;         // see ReceiverShapeMismatch
  bool configured = false;            // the settings make it a receiver (USB/IP: every device)
  bool usable = false;                // a receiver the driver can open
  std::vector<std::string> problems;  // why it cannot be used, each a sentence
  // For a device of the receiver's shape that the settings do not name:
  // "PENWICK_USB_IDS=vvvv:pppp".
  std::string setting;
};

// The local devices of `source`, judged against the ids of PENWICK_USB_IDS.
PW_PLATFORM_API std::vector<ListedDevice> SurveyLocalDevices(LocalDeviceSource& source,
                                                             const std::vector<UsbId>& ids);

struct ListedServer {
  std::string address;  // host:port
  bool reachable = false;
  std::string problem;  // why it cannot be reached
  std::vector<ListedDevice> devices;
};

// Every server's exported devices. Each device is imported for a moment to read its
// configuration (every device of these servers is a receiver to the driver). Bounded: a few
// seconds per unreachable server or silent device.
PW_PLATFORM_API std::vector<ListedServer> SurveyUsbipServers(
    const std::vector<UsbipServer>& servers);

// The whole list as the environment's settings (PENWICK_USB_IDS, PENWICK_USBIP) make it.
struct UsbSurvey {
  std::string localProblem;  // why no local device could be listed (libusb cannot start)
  std::vector<ListedDevice> local;
  std::vector<ListedServer> servers;
  std::string settingsNote;  // Driver::EnvironmentNote(): settings missing or malformed
};
PW_PLATFORM_API UsbSurvey SurveyUsb();

// "vvvv:pppp" in lower-case hexadecimal.
PW_PLATFORM_API std::string UsbIdText(uint16_t vendor, uint16_t product);

// The command that installs the udev rule for `ids`, to be run as root: the helper next to the
// running program when it is there (build/bin, or bin of an installation), else the script
// of the source tree.
PW_PLATFORM_API std::string UdevRuleCommand(const std::vector<UsbId>& ids);

}  // namespace pw::usb
