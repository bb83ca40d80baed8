// Builds the descriptor bytes for the selected identity and configuration shape.
#include "descriptors.h"

#include <array>
#include <initializer_list>
#include <utility>

namespace sim::usbip {
namespace {

constexpr std::array<std::pair<std::string_view, ConfigShape>, 11> kShapeNames{{
    {"standard", ConfigShape::kStandard},
    {"no-endpoints", ConfigShape::kNoEndpoints},
    {"endpoints-32", ConfigShape::kEndpoints32},
    {"endpoints-33", ConfigShape::kEndpoints33},
    {"extra-descriptors", ConfigShape::kExtraDescriptors},
    {"between-endpoints", ConfigShape::kBetweenEndpoints},
    {"two-in", ConfigShape::kTwoIn},
    {"short", ConfigShape::kShort},
    {"zero-length", ConfigShape::kZeroLength},
    {"total-below-18", ConfigShape::kTotalBelow18},
    {"first-short", ConfigShape::kFirstShort},
}};

constexpr uint8_t kTypeDevice = 1;
constexpr uint8_t kTypeConfiguration = 2;
constexpr uint8_t kTypeString = 3;
constexpr uint8_t kTypeInterface = 4;
constexpr uint8_t kTypeEndpoint = 5;
constexpr uint8_t kTypeInterfaceAssociation = 0x0B;
constexpr uint8_t kTypeClassInterface = 0x24;
constexpr uint8_t kTypeClassEndpoint = 0x25;
constexpr uint8_t kBulk = 2;

// Byte by byte: GCC 12 warns falsely (array-bounds) about inserting a list at the end.
void Append(std::vector<uint8_t>& out, std::initializer_list<uint8_t> bytes) {
  for (const uint8_t b : bytes) out.push_back(b);
}

void Put16Le(std::vector<uint8_t>& out, size_t at, uint16_t value) {
  out[at] = static_cast<uint8_t>(value);
  out[at + 1] = static_cast<uint8_t>(value >> 8);
}

void AppendEndpoint(std::vector<uint8_t>& out, uint8_t address, uint16_t size) {
  Append(out, {7, kTypeEndpoint, address, kBulk, static_cast<uint8_t>(size),
               static_cast<uint8_t>(size >> 8), 0});
}

// Endpoint i of the many-endpoint shapes: 0x01 and 0x82 first, then the other numbers in
// turn, alternating direction (addresses repeat past 30; the host only counts them).
uint8_t NthEndpointAddress(int i) {
  if (i == 0) return kBulkOutAddress;
  if (i == 1) return kBulkInAddress;
  const int number = 3 + (i - 2) % 13;
  return static_cast<uint8_t>(i % 2 == 1 ? 0x80 | number : number);
}

int EndpointCount(ConfigShape shape) {
  switch (shape) {
    case ConfigShape::kNoEndpoints:
      return 0;
    case ConfigShape::kEndpoints32:
      return 32;
    case ConfigShape::kEndpoints33:
      return 33;
    case ConfigShape::kTwoIn:
      return 3;
    default:
      return 2;
  }
}

}  // namespace

std::optional<ConfigShape> ParseConfigShape(std::string_view name) {
  for (const auto& [text, shape] : kShapeNames)
    if (text == name) return shape;
  return std::nullopt;
}

std::string ConfigShapeNames() {
  std::string out;
  for (const auto& entry : kShapeNames) {
    if (!out.empty()) out += '|';
    out += entry.first;
  }
  return out;
}

uint32_t SpeedCode(const DescriptorOptions& options) {
  return options.maxPacket >= 512 ? 3 : 2;
}

std::vector<uint8_t> DeviceDescriptor(const DescriptorOptions& o) {
  const uint8_t withStrings = o.strings ? 1 : 0;
  std::vector<uint8_t> d{18,
                         kTypeDevice,
                         0x00,
                         0x02,
                         0,
                         0,
                         0,
                         64,
                         0,
                         0,
                         0,
                         0,
                         0,
                         0,
                         withStrings,
                         static_cast<uint8_t>(2 * withStrings),
                         static_cast<uint8_t>(3 * withStrings),
                         1};
  Put16Le(d, 8, o.idVendor);
  Put16Le(d, 10, o.idProduct);
  Put16Le(d, 12, o.bcdDevice);
  return d;
}

std::vector<uint8_t> ConfigurationDescriptorSet(const DescriptorOptions& o) {
  const ConfigShape shape = o.shape;
  std::vector<uint8_t> out{9, kTypeConfiguration, 0, 0, 1, 1, 0, 0x80, 50};
  if (shape == ConfigShape::kTotalBelow18) {
    Put16Le(out, 2, 9);
    return out;
  }
  if (shape == ConfigShape::kFirstShort) out[0] = 7;
  if (shape == ConfigShape::kExtraDescriptors)
    Append(out, {8, kTypeInterfaceAssociation, 0, 1, kInterfaceClassVendor, 0, 0, 0});

  const int endpoints = EndpointCount(shape);
  Append(out, {9, kTypeInterface, 0, 0, static_cast<uint8_t>(endpoints), kInterfaceClassVendor, 0,
               0, 0});
  if (shape == ConfigShape::kExtraDescriptors)
    Append(out, {5, kTypeClassInterface, 0x01, 0x10, 0x01});
  if (shape == ConfigShape::kZeroLength) Append(out, {0, kTypeClassInterface, 0, 0});

  for (int i = 0; i < endpoints; ++i) {
    if (i == 1 && shape == ConfigShape::kBetweenEndpoints)
      Append(out, {4, kTypeClassEndpoint, 0x01, 0x00});
    const uint8_t address = shape == ConfigShape::kTwoIn && i == 2 ? 0x84 : NthEndpointAddress(i);
    AppendEndpoint(out, address, o.maxPacket);
  }

  const size_t announced = out.size() + (shape == ConfigShape::kShort ? 16 : 0);
  Put16Le(out, 2, static_cast<uint16_t>(announced));
  return out;
}

std::optional<std::vector<uint8_t>> StringDescriptor(const DescriptorOptions& o, uint8_t index) {
  if (!o.strings) return std::nullopt;
  if (index == 0) return std::vector<uint8_t>{4, kTypeString, 0x09, 0x04};
  const std::string* text = index == 1   ? &o.manufacturer
                            : index == 2 ? &o.product
                            : index == 3 ? &o.serial
                                         : nullptr;
  if (text == nullptr) return std::nullopt;
  // UTF-16LE of an ASCII text; a descriptor holds at most 126 characters.
  const size_t chars = std::min<size_t>(text->size(), 126);
  std::vector<uint8_t> d{static_cast<uint8_t>(2 + 2 * chars), kTypeString};
  for (size_t i = 0; i < chars; ++i) {
    const auto c = static_cast<unsigned char>((*text)[i]);
    d.push_back(c < 0x80 ? c : '?');
    d.push_back(0);
  }
  return d;
}

}  // namespace sim::usbip
