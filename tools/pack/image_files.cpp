// Kinds of image files, the check of a packed image and the info report.
#include "image_files.h"

#include <cstdio>

#include "NorraLink.h"
#include "penwick/console_kit/json_line.hpp"

namespace penwick_pack {
namespace {

constexpr size_t kDescriptors = 64;
constexpr size_t kDescriptorTable = 64;  // offset of descriptor 0
constexpr size_t kDescriptorSize = 64;
constexpr size_t kCheckByte = 3;

// The first block whose packed stream lies outside the container or fails its CRC, or -1.
int FirstBadStream(const uint8_t* image) {
  for (size_t i = 0; i < kDescriptors; ++i) {
    const uint8_t* d = image + kDescriptorTable + i * kDescriptorSize;
    const uint32_t offset = Get32bit(d + 4);
    const uint32_t length = Get32bit(d + 8);
    if (length == 0) continue;
    if (offset > kContainerSize || length > kContainerSize - offset ||
        GetCrc16(image + offset, length) != Get16bit(d)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

size_t ImageOffset(FileKind kind) {
  return kind == FileKind::kTransferFile ? kTransferHeaderSize : 0;
}

}  // namespace

uint8_t ModelIdCheckByte(const uint8_t* image) {
  unsigned sum = 0;
  for (size_t i = 4; i < kIdentitySize; ++i) sum += image[i];
  return static_cast<uint8_t>(~sum);
}

FileKind KindOfSize(size_t size) {
  if (size == kContainerSize) return FileKind::kPackedImage;
  if (size == kContainerSize + kEepromSize) return FileKind::kSavedUpload;
  if (size >= kTransferHeaderSize + kContainerSize + kEepromSize) return FileKind::kTransferFile;
  return FileKind::kUnknown;
}

const char* KindName(FileKind kind) {
  switch (kind) {
    case FileKind::kTransferFile:
      return "transfer file";
    case FileKind::kSavedUpload:
      return "saved upload";
    case FileKind::kPackedImage:
      return "packed image";
    case FileKind::kUnknown:
      break;
  }
  return "unknown";
}

const char* KindKey(FileKind kind) {
  switch (kind) {
    case FileKind::kTransferFile:
      return "transfer-file";
    case FileKind::kSavedUpload:
      return "saved-upload";
    case FileKind::kPackedImage:
      return "packed-image";
    case FileKind::kUnknown:
      break;
  }
  return "unknown";
}

std::string ImageProblem(const uint8_t* image) {
  const uint8_t expected = ModelIdCheckByte(image);
  if (image[kCheckByte] != expected) {
    return "the model id's check byte is " + Hex(image[kCheckByte], 2) + ", not " +
           Hex(expected, 2);
  }
  // The unpack converts the container in place: it runs on a copy.
  std::vector<uint8_t> scratch(image, image + kContainerSize);
  std::vector<uint8_t> region(kRegionSize, 0xFF);
  if (Dll_UnPackFlashData(scratch.data(), region.data()) == 1) return {};
  const int bad = FirstBadStream(image);
  if (bad >= 0) return "block " + std::to_string(bad) + " fails its check";
  return "a block does not unpack";
}

FileReport Describe(const std::string& path, const std::vector<uint8_t>& bytes) {
  FileReport report;
  report.path = path;
  report.size = bytes.size();
  report.kind = KindOfSize(bytes.size());
  if (report.kind == FileKind::kUnknown) {
    report.problem = std::to_string(bytes.size()) + " bytes is the size of no image file";
    return report;
  }
  const uint8_t* image = bytes.data() + ImageOffset(report.kind);
  std::copy(image, image + kIdentitySize, report.modelId.begin());
  report.systemId = Dll_GetSystemIdFromPackedFlashData(image);
  for (size_t i = 0; i < kDescriptors; ++i) {
    const uint32_t length = Get32bit(image + kDescriptorTable + i * kDescriptorSize + 8);
    if (length == 0) continue;
    ++report.blocks;
    report.packedBytes += length;
  }
  report.hasEeprom = report.kind != FileKind::kPackedImage;
  report.problem = ImageProblem(image);
  return report;
}

std::string ModelIdText(const std::array<uint8_t, kIdentitySize>& id) {
  std::string text;
  for (const uint8_t c : id) text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.';
  return text;
}

std::string ModelIdHex(const std::array<uint8_t, kIdentitySize>& id) {
  std::string text;
  for (size_t i = 0; i < id.size(); ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", id[i]);
    text += byte;
  }
  return text;
}

std::string ReportText(const FileReport& r) {
  std::string text = r.path + ": " + KindName(r.kind) + ", " + std::to_string(r.size) + " bytes\n";
  if (r.kind != FileKind::kUnknown) {
    text += "system id:    " + Hex(r.systemId, 4) + " (" + std::to_string(r.systemId) + ")\n";
    text += "model id:     " + ModelIdHex(r.modelId) + "\n";
    text += "              \"" + ModelIdText(r.modelId) + "\"\n";
    text += "packed image: " + std::to_string(kContainerSize) + " bytes, " +
            std::to_string(r.blocks) + " blocks, " + std::to_string(r.packedBytes) +
            " bytes of packed streams\n";
    if (r.hasEeprom) text += "EEPROM image: " + std::to_string(kEepromSize) + " bytes\n";
    text += "unpacks:      " +
            (r.problem.empty() ? "yes, " + std::to_string(kRegionSize) + "-byte flash region"
                               : "no, " + r.problem) +
            "\n";
  } else {
    text += "damaged:      " + r.problem + "\n";
  }
  return text;
}

std::string ReportJson(const FileReport& r, int exitCode) {
  pw::cli::JsonLine line("info");
  line.Add("file", r.path).Add("size", static_cast<long long>(r.size)).Add("kind", KindKey(r.kind));
  if (r.kind != FileKind::kUnknown) {
    line.Add("systemId", static_cast<int>(r.systemId))
        .Add("modelId", ModelIdHex(r.modelId))
        .Add("modelIdText", ModelIdText(r.modelId))
        .Add("packedImageSize", static_cast<long long>(kContainerSize))
        .Add("blocks", static_cast<int>(r.blocks))
        .Add("packedBytes", static_cast<long long>(r.packedBytes))
        .Add("eepromImageSize", static_cast<long long>(r.hasEeprom ? kEepromSize : 0));
  }
  line.Add("unpacks", r.problem.empty());
  if (!r.problem.empty()) line.Add("reason", r.problem);
  line.Add("exitCode", exitCode);
  return line.Text() + "\n";
}

}  // namespace penwick_pack
