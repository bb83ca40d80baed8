// The device list's survey of the USB/IP servers: every exported device, imported for a moment
// to read its configuration. The same on every system.
#include <array>
#include <cstdio>

#include "backends.hpp"
#include "penwick/usb_survey.hpp"
#include "survey_shape.hpp"
#include "usbip_client.hpp"

namespace pw::usb {
namespace {

// The configuration descriptor set of an imported device, as far as it came.
std::vector<uint8_t> ReadConfiguration(DeviceSession& session) {
  std::array<uint8_t, 8> setup = {0x80, 6, 0, 2, 0, 0, 9, 0};  // GET_DESCRIPTOR configuration 0
  std::vector<uint8_t> config(9);
  size_t got = 0;
  if (session.Control(setup, config, &got, ControlTimeout()) != Status::Success || got < 9) {
    return {};
  }
  const uint16_t total = ConfigTotalLength(config);
  if (total > 9) {
    setup[6] = static_cast<uint8_t>(total & 0xFF);
    setup[7] = static_cast<uint8_t>(total >> 8);
    config.assign(total, 0);
    if (session.Control(setup, config, &got, ControlTimeout()) != Status::Success) return {};
  }
  config.resize(got);
  return config;
}

}  // namespace

std::string UsbIdText(uint16_t vendor, uint16_t product) {
  char text[16];
  std::snprintf(text, sizeof text, "%04x:%04x", vendor, product);
  return text;
}

std::vector<ListedServer> SurveyUsbipServers(const std::vector<UsbipServer>& servers) {
  std::vector<ListedServer> listed;
  for (const UsbipServer& server : servers) {
    ListedServer entry;
    entry.address = UsbipServerText(server);
    const auto exported = QueryUsbipDevices(server, &entry.problem);
    entry.reachable = exported.has_value();
    if (!exported) {
      listed.push_back(std::move(entry));
      continue;
    }
    entry.problem.clear();
    UsbipBackend backend({server}, std::chrono::seconds(1));  // never started: opens only
    for (const auto& item : *exported) {
      ListedDevice device;
      device.path = UsbipDevicePath(server, item.busId);
      device.vendor = item.idVendor;
      device.product = item.idProduct;
      device.bcdDevice = item.bcdDevice;
      device.configured = true;
      Status status = Status::Success;
      std::string message;
      if (auto session = backend.Open(device.path, &status, &message)) {
        const std::vector<uint8_t> config = ReadConfiguration(*session);
        JudgeShape(ShapeOfConfiguration(config), &device);
      } else {
        device.problems.push_back(status == Status::Busy
                                      ? "the server does not let it be imported (another "
                                        "client may be using it)"
                                      : "it cannot be imported (" + message + ")");
      }
      device.usable = device.problems.empty();
      entry.devices.push_back(std::move(device));
    }
    listed.push_back(std::move(entry));
  }
  return listed;
}

}  // namespace pw::usb
