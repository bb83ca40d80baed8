#include "device_list.h"

#include <cstdio>
#include <string>

#include "console_view.h"
#include "penwick/console_kit/json_line.hpp"

namespace app {
namespace {

using pw::cli::JsonLine;

std::string Hex4(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", value);
  return text;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (const auto& item : items) {
    if (!text.empty()) text += "; ";
    text += item;
  }
  return text;
}

class ListWriter {
 public:
  ListWriter(std::FILE* human, std::FILE* json) : human_(human), json_(json) {}

  void Text(const std::string& line) { std::fprintf(human_, "%s\n", line.c_str()); }
  void Json(const JsonLine& line) {
    if (json_) std::fprintf(json_, "%s\n", line.Text().c_str());
  }

  void Port(const NamedSerialPort& port) {
    std::string text = "  " + port.device + "  " + port.portText;
    if (!port.setting.empty()) text += " with " + port.setting;
    if (port.named) text += " (named by PENWICK_" + port.portText + ")";
    if (port.noUart) text += " (no UART behind it)";
    Text(text);
    Json(JsonLine("serial")
             .Add("device", port.device)
             .Add("port", port.portText)
             .Add("setting", port.setting)
             .Add("uart", !port.noUart));
  }

  // A device line and its verdict; a server's devices are indented under the server.
  void Device(const pw::usb::ListedDevice& device, const std::string& server) {
    const std::string indent = server.empty() ? "  " : "    ";
    std::string text = indent + device.path + "  " +
                       pw::usb::UsbIdText(device.vendor, device.product) + "  version " +
                       Hex4(device.bcdDevice);
    if (!device.name.empty()) text += "  " + device.name;
    Text(text);
    std::string shape = !device.shapeKnown ? "unknown" : device.receiverShape ? "yes" : "no";
    Text(indent + "  receiver's shape: " + shape + "; " +
         (device.usable       ? std::string("usable as a receiver")
          : device.configured ? std::string("named by the settings, but not usable")
                              : std::string("not a receiver to the settings")));
    for (const auto& problem : device.problems) Text(indent + "  - " + problem);
    if (!device.setting.empty()) Text(indent + "  to use it: " + device.setting);
    JsonLine line("usb");
    line.Add("path", device.path)
        .Add("vid", Hex4(device.vendor))
        .Add("pid", Hex4(device.product))
        .Add("version", Hex4(device.bcdDevice))
        .Add("name", device.name);
    if (!server.empty()) line.Add("server", server);
    Json(line.Add("shape", shape)
             .Add("configured", device.configured)
             .Add("usable", device.usable)
             .Add("problem", Joined(device.problems))
             .Add("setting", device.setting));
  }

  void Server(const pw::usb::ListedServer& server) {
    if (server.reachable) {
      Text("  " + server.address + ": " + std::to_string(server.devices.size()) +
           " device(s) exported");
    } else {
      Text("  " + server.address + ": cannot be reached: " + server.problem);
    }
    Json(JsonLine("usbip")
             .Add("server", server.address)
             .Add("reachable", server.reachable)
             .Add("devices", static_cast<int>(server.devices.size()))
             .Add("problem", server.problem));
    for (const auto& device : server.devices) Device(device, server.address);
  }

  void Note(const std::string& text) {
    Text(text);
    Json(JsonLine("note").Add("text", text));
  }

 private:
  std::FILE* human_;
  std::FILE* json_;
};

}  // namespace

void PrintDeviceList(const std::vector<NamedSerialPort>& ports, const pw::usb::UsbSurvey& usb,
                     std::FILE* human, std::FILE* json) {
  ListWriter out(human, json);
  out.Text("Serial ports (-pCOMn):");
  if (ports.empty()) out.Text("  none");
  for (const auto& port : ports) out.Port(port);

  out.Text("USB devices on this machine (PENWICK_USB_IDS):");
  if (!usb.localProblem.empty()) out.Note("  " + usb.localProblem);
  if (usb.local.empty() && usb.localProblem.empty()) out.Text("  none");
  size_t shaped = 0, usable = 0;
  for (const auto& device : usb.local) {
    out.Device(device, "");
    shaped += device.receiverShape;
    usable += device.usable;
  }

  out.Text("USB/IP servers (PENWICK_USBIP):");
  if (usb.servers.empty()) out.Text("  none");
  size_t reachable = 0;
  for (const auto& server : usb.servers) {
    out.Server(server);
    reachable += server.reachable;
    for (const auto& device : server.devices) {
      shaped += device.receiverShape;
      usable += device.usable;
    }
  }
  if (!usb.settingsNote.empty()) out.Note(usb.settingsNote);

  const std::string summary = "listed " + std::to_string(ports.size()) + " serial port(s), " +
                              std::to_string(usb.local.size()) + " local USB device(s) and " +
                              std::to_string(usb.servers.size()) + " USB/IP server(s) (" +
                              std::to_string(reachable) + " reachable); " + std::to_string(shaped) +
                              " device(s) of the receiver's shape, " + std::to_string(usable) +
                              " usable as a receiver";
  ConsoleView(human, false, json, false).Result({pw::cli::kExitOk, summary, ""});
}

int RunDeviceList(bool json) {
  const auto ports = ListSerialPorts();
  const auto usb = pw::usb::SurveyUsb();
  PrintDeviceList(ports, usb, json ? stderr : stdout, json ? stdout : nullptr);
  return pw::cli::kExitOk;
}

}  // namespace app
