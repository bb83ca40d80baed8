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

// Removes a download file (nothing happens when there is none).
void RemoveDownloadFile(const std::string& path);

// The download file of a session, opened for reading. The session removes it when it ends,
// whatever the outcome (Discard), so no download file stays in the work folder.
class DownloadFileReader {
 public:
  // False when the file cannot be opened or is empty. Discard removes `path` either way.
  bool Open(const std::string& path);
  void Close() { file_.reset(); }
  // Closes the file and removes it.
  void Discard();
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
  std::string path_;
  int64_t size_ = 0;
};

}  // namespace transfer
