// The download file of a download session: written from the image stores at the handshake and
// read back block by block while the receiver asks for it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace transfer {

// Writes the download file for the receiver that announced `systemId` at `path` from the
// packed-image and EEPROM stores; false when it cannot be written.
bool WriteDownloadFileFor(uint16_t systemId, const std::string& path);

// The download file opened for reading.
class DownloadFileReader {
 public:
  // False when the file cannot be opened or is empty.
  bool Open(const std::string& path);
  void Close() { file_.reset(); }
  bool IsOpen() const { return file_ != nullptr; }
  // The file's size in bytes, taken when it was opened.
  int64_t size() const { return size_; }
  // Reads exactly `length` bytes at `offset` into `out`; false when they lie past the end,
  // the file cannot be positioned there or fewer bytes come.
  bool Read(uint32_t offset, uint32_t length, uint8_t* out);

 private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
  int64_t size_ = 0;
};

}  // namespace transfer
