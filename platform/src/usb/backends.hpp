// Factories of the real backends and the environment settings that select them.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "penwick/usb_backend.hpp"

namespace pw::usb {

// A vid:pid pair of PENWICK_USB_IDS.
struct UsbId {
  uint16_t vendor = 0;
  uint16_t product = 0;
  bool operator==(const UsbId&) const = default;
};

// Parses "vvvv:pppp[,vvvv:pppp...]" (hexadecimal, 1-4 digits each, optional 0x, spaces around
// items ignored). Malformed items are skipped; `bad` (may be null) receives them.
PW_PLATFORM_API std::vector<UsbId> ParseUsbIds(std::string_view text,
                                               std::vector<std::string>* bad = nullptr);

// A USB/IP server of PENWICK_USBIP.
struct UsbipServer {
  std::string host;
  uint16_t port = 3240;
  bool operator==(const UsbipServer&) const = default;
};
// Parses "host[:port][,host[:port]...]"; an IPv6 host is written in brackets. Malformed items
// are skipped; `bad` (may be null) receives them.
PW_PLATFORM_API std::vector<UsbipServer> ParseUsbipServers(std::string_view text,
                                                           std::vector<std::string>* bad = nullptr);

// PENWICK_USB_IDS and PENWICK_USBIP as this process's environment gives them, each parsed
// once: the ids and servers they name, and the items that were ignored.
struct UsbSettings {
  std::vector<UsbId> ids;
  std::vector<std::string> badIds;
  std::vector<UsbipServer> servers;
  std::vector<std::string> badServers;
};
UsbSettings SettingsFromEnvironment();

// Receivers attached to this machine, as this system reaches them (local_receivers.cpp of
// each system): whether the settings select them, the backend that finds them (null when none
// is selected or it cannot start), and how to select them, as a clause for the operator.
bool LocalReceiversSelected(const UsbSettings& settings);
std::unique_ptr<Backend> MakeLocalBackend(const UsbSettings& settings);
std::string LocalReceiverHelp();

// The libusb backend for the listed ids (null when libusb cannot start).
PW_PLATFORM_API std::unique_ptr<Backend> MakeLibusbBackend(std::vector<UsbId> ids);

// The USB/IP client backend. `pollInterval`: how often the servers' device lists are read.
PW_PLATFORM_API std::unique_ptr<Backend> MakeUsbipBackend(
    std::vector<UsbipServer> servers,
    std::chrono::milliseconds pollInterval = std::chrono::milliseconds(300));

}  // namespace pw::usb
