// The device list on Linux: the judgement of each local device (shape, settings, permission,
// other drivers) and the whole survey. The USB/IP servers' part is usbip_survey.cpp.
#include "penwick/usb_survey.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "backends.hpp"
#include "libusb_backend.hpp"
#include "survey_shape.hpp"
#include "usbip_client.hpp"

namespace pw::usb {

namespace {

std::string IdList(const std::vector<UsbId>& ids) {
  std::string list;
  for (const auto& id : ids) {
    if (!list.empty()) list += ',';
    list += UsbIdText(id.vendor, id.product);
  }
  return list;
}

// The ids of the settings with `device`'s added, as the settings should read to serve it.
std::vector<UsbId> WithDevice(std::vector<UsbId> ids, const ListedDevice& device) {
  if (!MatchesIds(ids, device.vendor, device.product))
    ids.push_back({device.vendor, device.product});
  return ids;
}

}  // namespace

std::string UdevRuleCommand(const std::vector<UsbId>& ids) {
  std::string helper = "scripts/penwick-udev-rule.sh";
  std::error_code error;
  const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const auto beside = program.parent_path() / "penwick-udev-rule";
    if (::access(beside.c_str(), X_OK) == 0) helper = beside.string();
  }
  return "PENWICK_USB_IDS=" + IdList(ids) + " " + helper;
}

std::vector<ListedDevice> SurveyLocalDevices(LocalDeviceSource& source,
                                             const std::vector<UsbId>& ids) {
  std::vector<ListedDevice> listed;
  for (const LocalDeviceFacts& facts : source.List()) {
    ListedDevice device;
    device.path = facts.path;
    device.vendor = facts.vendor;
    device.product = facts.product;
    device.bcdDevice = facts.bcdDevice;
    device.name = facts.name;
    device.configured = MatchesIds(ids, facts.vendor, facts.product);
    JudgeShape(facts.shape, &device);
    if (!device.configured && device.receiverShape) {
      device.problems.push_back("PENWICK_USB_IDS does not name it");
      device.setting = "PENWICK_USB_IDS=" + IdList(WithDevice(ids, device));
    }
    // Only a device that is or may be a receiver is opened, and only when no other driver
    // holds it ("usbfs": a program has claimed it).
    if (!facts.driver.empty()) {
      device.problems.push_back(facts.driver == "usbfs" ? "another program holds it"
                                                        : "the kernel driver " + facts.driver +
                                                              " holds it; it is left alone");
    } else if (device.configured || device.receiverShape) {
      std::string message;
      const Status status = source.TryOpen(facts.path, &message);
      if (status == Status::AccessDenied) {
        device.problems.push_back("permission denied; install the udev rule once, as root: " +
                                  UdevRuleCommand(WithDevice(ids, device)));
      } else if (status != Status::Success) {
        device.problems.push_back("it cannot be opened (" + message + ")");
      }
    }
    device.usable = device.configured && device.problems.empty();
    listed.push_back(std::move(device));
  }
  return listed;
}

UsbSurvey SurveyUsb() {
  UsbSurvey survey;
  const char* idText = std::getenv("PENWICK_USB_IDS");
  const auto ids = ParseUsbIds(idText ? idText : "");
  const auto source = MakeLibusbDeviceSource(&survey.localProblem);
  if (source) survey.local = SurveyLocalDevices(*source, ids);
  const char* servers = std::getenv("PENWICK_USBIP");
  survey.servers = SurveyUsbipServers(ParseUsbipServers(servers ? servers : ""));
  survey.settingsNote = Driver::EnvironmentNote();
  for (const UsbId& id : ids) {
    const bool attached = std::any_of(survey.local.begin(), survey.local.end(), [&](auto& d) {
      return d.vendor == id.vendor && d.product == id.product;
    });
    if (source && !attached) {
      if (!survey.settingsNote.empty()) survey.settingsNote += ' ';
      survey.settingsNote += "PENWICK_USB_IDS names " + UsbIdText(id.vendor, id.product) +
                             ", but no such device is attached.";
    }
  }
  return survey;
}

}  // namespace pw::usb
