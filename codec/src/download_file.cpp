// Writing the download file next to its final path and putting it in place when complete.
#include "download_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "codec_hooks.h"
#include "image_layout.h"
#include "packed_stream.h"

namespace codec {
namespace {

// The longest file: header, and every chunk stored.
constexpr size_t kMaxFileSize =
    kStreamHeaderSize + 6 * kChunkHeaderSize + kContainerSize + kEepromSize;

std::atomic<unsigned> g_tempCounter{0};

// Appends the chunks of one section at file[size]; the buffer has room for every chunk stored.
void AppendSection(PackWork& work, const uint8_t* data, size_t length, uint16_t type, uint8_t* file,
                   size_t& size, unsigned& chunks) {
  for (size_t done = 0; done < length;) {
    const size_t piece = std::min(length - done, kChunkMaxRaw);
    const std::span<const uint8_t> chunk = BuildChunk(work, data + done, piece, type);
    std::memcpy(file + size, chunk.data(), chunk.size());
    size += chunk.size();
    done += piece;
    ++chunks;
  }
}

// Creates a new file beside `path` for the contents, so that `path` itself only ever holds a
// complete file. Null when the folder does not take a new file.
std::FILE* CreateBeside(const std::string& path, std::string& tempPath) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = path + kDownloadTemporarySuffix + std::to_string(g_tempCounter.fetch_add(1));
    std::FILE* file = std::fopen(tempPath.c_str(), "wbx");
    if (file != nullptr || errno != EEXIST) return file;
  }
  return nullptr;
}

}  // namespace

bool WriteDownloadFile(uint16_t systemId, const uint8_t* packed, const uint8_t* eeprom,
                       const std::string& path) {
  std::unique_ptr<PackWork> work = NewPackWork();
  std::unique_ptr<uint8_t[]> file(new (std::nothrow) uint8_t[kMaxFileSize]());
  if (!work || !file) {
    ShowNotice("DLL : Insufficient memory");
    return false;
  }
  const auto creatingError = [&path] {
    const std::string text = "\"" + path + "\": Creating error \r\n";
    ShowNotice(text.c_str());
  };
  std::string tempPath;
  std::FILE* out = CreateBeside(path, tempPath);
  if (out == nullptr) {
    creatingError();
    return false;
  }

  size_t size = kStreamHeaderSize;
  unsigned chunks = 0;
  AppendSection(*work, packed, kContainerSize, kFlashSectionType, file.get(), size, chunks);
  AppendSection(*work, eeprom, kEepromSize, kEepromSectionType, file.get(), size, chunks);
  WriteStreamHeader(file.get(), systemId, static_cast<uint16_t>(chunks));

  bool ok = std::fwrite(file.get(), 1, size, out) == size;
  ok = std::fflush(out) == 0 && ok;
  ok = std::fclose(out) == 0 && ok;
  if (!ok) {  // a short write: the disk is full or the file too large
    std::remove(tempPath.c_str());
    return false;
  }
  if (std::rename(tempPath.c_str(), path.c_str()) != 0) {  // e.g. the path names a folder
    std::remove(tempPath.c_str());
    creatingError();
    return false;
  }
  return true;
}

}  // namespace codec
