// The receiver's check of a download file: header, chunks, CRCs and the expanded images.
#include "download_check.h"

#include <PenwickHelpers.h>

#include <algorithm>
#include <array>
#include <cstdio>

namespace sim {
namespace {

constexpr size_t kStreamHeader = 10;
constexpr size_t kChunkHeader = 8;
constexpr std::array<uint16_t, 6> kTypes = {2, 2, 2, 2, 2, 3};
constexpr std::array<size_t, 6> kRawLengths = {32762, 32762, 32762, 32762, 24, 256};

std::string At(size_t offset) {
  return " at offset " + std::to_string(offset);
}

std::string Hex(unsigned value) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%04X", value & 0xFFFFu);
  return buf;
}

struct Section {
  std::vector<uint8_t> bytes;
  std::vector<bool> known;  // false where a coded chunk could not be expanded
};

// Empty when the section equals the expected image wherever it is known.
std::string Compare(const Section& got, const std::vector<uint8_t>& want, const char* what) {
  if (got.bytes.size() != want.size())
    return std::string(what) + " of " + std::to_string(got.bytes.size()) + " bytes, expected " +
           std::to_string(want.size());
  for (size_t k = 0; k < want.size(); ++k) {
    if (got.known[k] && got.bytes[k] != want[k])
      return std::string(what) + " differs at byte " + std::to_string(k);
  }
  return {};
}

}  // namespace

DownloadCheck CheckDownloadFile(const std::vector<uint8_t>& file, uint16_t systemId,
                                const Images& expected, const ChunkExpander& expand) {
  DownloadCheck result;
  auto fail = [&](std::string why) {
    result.ok = false;
    result.reason = std::move(why);
    return result;
  };
  const uint8_t* p = file.data();
  if (file.size() < kStreamHeader) return fail("file of " + std::to_string(file.size()) + " bytes");
  if (Get16bit(p) != 8) return fail("stream header length " + std::to_string(Get16bit(p)));
  if (GetCrc16(p + 4, 6) != Get16bit(p + 2)) return fail("stream header CRC wrong");
  if (Get16bit(p + 4) != systemId)
    return fail("stream tag " + Hex(Get16bit(p + 4)) + ", system id is " + Hex(systemId));
  if (Get16bit(p + 6) != 1) return fail("stream header version " + std::to_string(Get16bit(p + 6)));
  if (Get16bit(p + 8) != kTypes.size())
    return fail("chunk count " + std::to_string(Get16bit(p + 8)) + ", expected 6");

  // The expanded sections: the packed image (type 2) and the EEPROM image (type 3).
  Section flash;
  Section eeprom;
  size_t at = kStreamHeader;
  for (size_t i = 0; i < kTypes.size(); ++i) {
    const std::string which = "chunk " + std::to_string(i + 1) + At(at);
    if (file.size() - at < kChunkHeader) return fail(which + ": file ends inside its header");
    const size_t following = Get16bit(p + at);
    if (following < 7) return fail(which + ": length field " + std::to_string(following));
    const size_t d = following - 6;
    if (file.size() - at < 2 + following) return fail(which + ": file ends inside its data");
    if (GetCrc16(p + at + 4, static_cast<uint32_t>(following - 2)) != Get16bit(p + at + 2))
      return fail(which + ": CRC wrong");
    const uint16_t type = Get16bit(p + at + 4);
    const size_t raw = Get16bit(p + at + 6);
    if (type != kTypes[i])
      return fail(which + ": type " + std::to_string(type) + ", expected " +
                  std::to_string(kTypes[i]));
    if (raw != kRawLengths[i])
      return fail(which + ": raw length " + std::to_string(raw) + ", expected " +
                  std::to_string(kRawLengths[i]));
    if (d > raw)
      return fail(which + ": " + std::to_string(d) + " data bytes for " + std::to_string(raw) +
                  " raw bytes");
    std::vector<uint8_t> out(raw, 0);
    bool known = true;
    const uint8_t* data = p + at + kChunkHeader;
    if (d == raw) {
      std::copy_n(data, raw, out.begin());
      ++result.storedChunks;
    } else if (expand) {
      if (!expand(data, d, out.data(), raw)) return fail(which + ": coded data does not expand");
      ++result.codedChunks;
    } else {
      known = false;
      ++result.uncheckedChunks;
    }
    Section& section = type == 2 ? flash : eeprom;
    section.bytes.insert(section.bytes.end(), out.begin(), out.end());
    section.known.insert(section.known.end(), raw, known);
    at += 2 + following;
  }
  if (at != file.size())
    return fail(std::to_string(file.size() - at) + " bytes after the last chunk");

  if (std::string why = Compare(flash, expected.packed, "packed image"); !why.empty())
    return fail(why);
  if (std::string why = Compare(eeprom, expected.eeprom, "EEPROM image"); !why.empty())
    return fail(why);
  result.ok = true;
  return result;
}

}  // namespace sim
