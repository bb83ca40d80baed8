// Arbitrary bytes as the transfer file that the program reads at start-up, through the read
// and the check that decide whether anything is armed: nothing is read or written outside the
// images, the images are the file's bytes at their offsets, and the check leaves the
// library's identity store as it found it.
//
// Inputs of odd length are completed into a whole transfer file (the packed image padded with
// zeros) whose identity check byte and packed CRCs are right (for the streams the unpack
// looks at: a longer one than 8192 bytes is refused before its CRC is looked at), so that mutations
// reach the unpack instead of stopping at the size and checksum checks. That file is built in a
// buffer kept across inputs; other inputs are read where libFuzzer holds them.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "NorraLink.h"
#include "fuzz_target.h"
#include "image_layout.h"
#include "kept_buffer.h"
#include "libraries.h"
#include "transfer_file.h"

namespace {

constexpr uint32_t kMaxStream = 8192;  // the longest packed stream the unpack takes

// The unpack checks no CRC past the region's 48 blocks, nor past the first of them whose
// stream is empty, too long or outside the container.
void FixChecks(uint8_t* c) {
  uint8_t sum = 0;
  for (size_t i = 4; i < 32; ++i) sum = static_cast<uint8_t>(sum + c[i]);
  c[3] = static_cast<uint8_t>(~sum);
  size_t count = Get16bit(c + 32);
  if (count == 0 || count > 64) count = 64;
  for (size_t i = 0; i < std::min<size_t>(count, 48); ++i) {
    uint8_t* d = c + 64 + i * 64;
    const uint32_t offset = Get32bit(d + 4);
    const uint32_t length = Get32bit(d + 8);
    if (offset >= codec::kContainerSize || length > kMaxStream ||
        length > codec::kContainerSize - offset)
      break;
    Put16bit(d, GetCrc16(c + offset, length));
    if (length == 0) break;
  }
}

}  // namespace

namespace {

// Reads and checks the input as the entry point reads it; aborts when a promise breaks.
app::TransferFileProblem ReadAndCheck(const uint8_t* data, size_t size) {
  std::span<const uint8_t> file(data, size);
  if (size % 2 == 1) {
    // The descriptor table's CRCs are fixed after the copy.
    static fuzz::KeptBuffer completed(codec::kTransferFileSize);
    completed.Fill(0, data, size, codec::kTransferHeaderSize + codec::kDataAreaOffset);
    FixChecks(completed.data() + codec::kTransferHeaderSize);
    file = completed.bytes();
  }
  static app::Libraries libraries;
  static auto* packed = new std::array<uint8_t, codec::kContainerSize>;
  static auto* eeprom = new std::array<uint8_t, codec::kEepromSize>;
  static auto* scratch = new std::array<uint8_t, codec::kContainerSize>;
  static auto* region = new std::array<uint8_t, codec::kRegionSize>;

  std::array<uint8_t, 32> before{}, after{};
  Dll_GetModelId(before.data());
  const app::TransferFileRead read =
      app::ReadImageBytes(file, codec::kTransferHeaderSize, packed->data(), eeprom->data());
  const size_t header = std::min(file.size(), codec::kTransferHeaderSize);
  const auto at = file.begin() + static_cast<std::ptrdiff_t>(header);
  if (read.packedBytes != std::min(file.size() - header, codec::kContainerSize) ||
      !std::equal(at, at + static_cast<std::ptrdiff_t>(read.packedBytes), packed->begin()) ||
      !std::equal(at + static_cast<std::ptrdiff_t>(read.packedBytes),
                  at + static_cast<std::ptrdiff_t>(read.packedBytes + read.eepromBytes),
                  eeprom->begin()))
    std::abort();
  const app::TransferFileProblem problem =
      app::CheckTransferImages(read, packed->data(), libraries, scratch->data(), region->data());
  Dll_GetModelId(after.data());
  if (before != after) std::abort();
  if (file.size() < codec::kTransferFileSize && problem == app::TransferFileProblem::None)
    std::abort();
  return problem;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReadAndCheck(data, size);
  return 0;
}

// Refused: nothing would be armed.
bool FuzzInputRefused(const uint8_t* data, size_t size) {
  return ReadAndCheck(data, size) != app::TransferFileProblem::None;
}
