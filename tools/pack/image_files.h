// The files penwick-pack reads: a transfer file (64-byte header, packed image, EEPROM image),
// a file a USB upload saved (packed image, EEPROM image) and a packed image alone, told apart
// by size; the check of a packed image (an unpack of a scratch copy, as PenwickUpload does
// before it sends one); and what `penwick-pack info` reports of them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image_layout.h"

namespace penwick_pack {

using codec::kContainerSize;  // a packed image
using codec::kEepromSize;
using codec::kIdentitySize;  // the model id at the start of a packed image
using codec::kRegionSize;
using codec::kTransferHeaderSize;

enum class FileKind { kUnknown, kTransferFile, kSavedUpload, kPackedImage };

// The kind of a file of `size` bytes. A transfer file may be longer: PenwickUpload reads its
// images and ignores the rest.
FileKind KindOfSize(size_t size);
const char* KindName(FileKind kind);  // "transfer file", ...
const char* KindKey(FileKind kind);   // "transfer-file", ... for JSON

// The check byte (byte 3) the model id at the start of `image` needs: the NOT of the sum of
// bytes 4 to 31.
uint8_t ModelIdCheckByte(const uint8_t* image);

// Why a packed image does not unpack; empty when it does. Unpacks a copy.
std::string ImageProblem(const uint8_t* image);

struct FileReport {
  std::string path;
  size_t size = 0;
  FileKind kind = FileKind::kUnknown;
  uint16_t systemId = 0;
  std::array<uint8_t, kIdentitySize> modelId{};
  unsigned blocks = 0;     // descriptors that describe a packed stream
  size_t packedBytes = 0;  // the streams' packed lengths together
  bool hasEeprom = false;
  std::string problem;  // why PenwickUpload would refuse the images; empty when none
};

// Looks at the bytes of the file at `path`.
FileReport Describe(const std::string& path, const std::vector<uint8_t>& bytes);

// The report as text lines, and as one JSON object.
std::string ReportText(const FileReport& report);
std::string ReportJson(const FileReport& report, int exitCode);

// The printable part of the model id as text ('.' for the rest), and all of it in hex.
std::string ModelIdText(const std::array<uint8_t, kIdentitySize>& id);
std::string ModelIdHex(const std::array<uint8_t, kIdentitySize>& id);

}  // namespace penwick_pack
