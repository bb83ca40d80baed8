// Parsing of the environment settings that select USB devices: PENWICK_USB_IDS (local ids)
// and PENWICK_USBIP (USB/IP servers).
#include <charconv>
#include <cstdlib>

#include "backends.hpp"

namespace pw::usb {

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

template <typename Fn>
void ForEachItem(std::string_view text, Fn&& fn) {
  while (true) {
    const size_t comma = text.find(',');
    const std::string_view item = Trim(text.substr(0, comma));
    if (!item.empty()) fn(item);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
}

std::optional<uint16_t> ParseHex16(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 4) return std::nullopt;
  unsigned value = 0;
  auto result = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  return static_cast<uint16_t>(value);
}

std::optional<uint16_t> ParsePort(std::string_view text) {
  unsigned value = 0;
  auto result = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() ||
      value == 0 || value > 65535) {
    return std::nullopt;
  }
  return static_cast<uint16_t>(value);
}

}  // namespace

std::vector<UsbId> ParseUsbIds(std::string_view text, std::vector<std::string>* bad) {
  std::vector<UsbId> ids;
  ForEachItem(text, [&](std::string_view item) {
    const size_t colon = item.find(':');
    std::optional<uint16_t> vendor, product;
    if (colon != std::string_view::npos) {
      vendor = ParseHex16(Trim(item.substr(0, colon)));
      product = ParseHex16(Trim(item.substr(colon + 1)));
    }
    if (!vendor || !product) {
      if (bad) bad->emplace_back(item);
      return;
    }
    UsbId id{*vendor, *product};
    for (const auto& known : ids) {
      if (known == id) return;
    }
    ids.push_back(id);
  });
  return ids;
}

std::vector<UsbipServer> ParseUsbipServers(std::string_view text, std::vector<std::string>* bad) {
  std::vector<UsbipServer> servers;
  ForEachItem(text, [&](std::string_view item) {
    UsbipServer server;
    std::string_view host = item;
    std::string_view port;
    if (!item.empty() && item.front() == '[') {
      const size_t close = item.find(']');
      if (close == std::string_view::npos) {
        if (bad) bad->emplace_back(item);
        return;
      }
      host = item.substr(1, close - 1);
      std::string_view rest = item.substr(close + 1);
      if (!rest.empty()) {
        if (rest.front() != ':') {
          if (bad) bad->emplace_back(item);
          return;
        }
        port = rest.substr(1);
      }
    } else if (const size_t colon = item.rfind(':'); colon != std::string_view::npos) {
      if (item.find(':') != colon) {  // an IPv6 address must be bracketed
        if (bad) bad->emplace_back(item);
        return;
      }
      host = item.substr(0, colon);
      port = item.substr(colon + 1);
    }
    if (host.empty()) {
      if (bad) bad->emplace_back(item);
      return;
    }
    if (!port.empty() || item.back() == ':') {
      auto parsed = ParsePort(port);
      if (!parsed) {
        if (bad) bad->emplace_back(item);
        return;
      }
      server.port = *parsed;
    }
    server.host = std::string(host);
    for (const auto& known : servers) {
      if (known == server) return;
    }
    servers.push_back(std::move(server));
  });
  return servers;
}

UsbSettings SettingsFromEnvironment() {
  UsbSettings settings;
  if (const char* ids = std::getenv("PENWICK_USB_IDS"))
    settings.ids = ParseUsbIds(ids, &settings.badIds);
  if (const char* servers = std::getenv("PENWICK_USBIP"))
    settings.servers = ParseUsbipServers(servers, &settings.badServers);
  return settings;
}

}  // namespace pw::usb
