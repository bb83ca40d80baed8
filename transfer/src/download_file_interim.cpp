// Interim download file writer until the codec's compressing writer is linked in: the same
// packed stream, with every chunk stored (uncompressed), which the receiver accepts alike.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "PenwickHelpers.h"
#include "codec_hooks.h"
#include "download_file_writer.h"
#include "image_layout.h"

namespace codec {
namespace {

void AppendSection(std::vector<uint8_t>& file, const uint8_t* data, size_t size, uint16_t type,
                   uint16_t& chunks) {
  for (size_t done = 0; done < size; done += kChunkMaxRaw) {
    const size_t raw = std::min(kChunkMaxRaw, size - done);
    const size_t at = file.size();
    file.resize(at + kChunkHeaderSize + raw);
    uint8_t* chunk = file.data() + at;
    Put16bit(chunk, static_cast<uint16_t>(raw + 6));
    Put16bit(chunk + 4, type);
    Put16bit(chunk + 6, static_cast<uint16_t>(raw));
    std::copy(data + done, data + done + raw, chunk + kChunkHeaderSize);
    Put16bit(chunk + 2, GetCrc16(chunk + 4, static_cast<uint32_t>(raw + 4)));
    ++chunks;
  }
}

}  // namespace

bool WriteDownloadFile(uint16_t systemId, const uint8_t* packed, const uint8_t* eeprom,
                       const std::string& path) {
  std::vector<uint8_t> file(kStreamHeaderSize);
  uint16_t chunks = 0;
  AppendSection(file, packed, kContainerSize, 2, chunks);
  AppendSection(file, eeprom, kEepromSize, 3, chunks);
  Put16bit(file.data(), 8);
  Put16bit(file.data() + 4, systemId);
  Put16bit(file.data() + 6, 1);
  Put16bit(file.data() + 8, chunks);
  Put16bit(file.data() + 2, GetCrc16(file.data() + 4, 6));
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) {
    ShowNotice(("\"" + path + "\": Creating error \r\n").c_str());
    return false;
  }
  const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  return std::fclose(out) == 0 && written;
}

}  // namespace codec
