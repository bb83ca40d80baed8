// The process-wide session state shared by the serial and USB sessions and the exports.
// Every flag or number one thread writes and another reads is atomic; the strings are copied
// under a mutex held only for the copy. Created once and never destroyed, so a worker still
// running while the process exits never touches freed memory.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "NorraLink.h"

namespace transfer {

// The link a session runs on, kept with the busy flag so that closing the serial port ends
// only a serial session.
enum class Link : uint32_t { Serial = 1, Usb = 2 };

class SessionState {
 public:
  std::atomic<int> portOpen{0};
  // The token of the serial upload worker inside its work, 0 when none is.
  std::atomic<uint32_t> serialUploadGuard{0};
  std::atomic<int> usbReady{0};
  std::atomic<int> usbWorker{0};
  std::atomic<int> usbCancel{0};
  std::atomic<int> success{0};
  std::atomic<int> downloadPercent{-1};
  std::atomic<int> uploadPercent{-1};
  std::atomic<uint8_t> serialSequence{0};
  std::atomic<uint32_t> usbSequence{0};
  std::atomic<int> usbFailures{0};

  // The busy flag. A session claims it with Acquire and gets a token that is unique to that
  // session, so a worker whose session was ended (and perhaps replaced by a new one at once)
  // never mistakes the new session's flag for its own.
  bool Busy() const { return busy_.load() != 0; }
  uint32_t Acquire(Link link);      // the token, or 0 when a session already runs
  bool Holds(uint32_t token) const  // the session of `token` still runs
  {
    return token != 0 && busy_.load() == token;
  }
  // No session has been accepted since the one of `token`: its worker may still report (its
  // notices, percentages and guard), even after its busy flag was cleared.
  bool Latest(uint32_t token) const {
    const uint32_t busy = busy_.load();
    return token != 0 && (busy == 0 || busy == token) && latest_.load() == token;
  }
  void Release(uint32_t token);  // clears the flag if `token` still holds it
  bool ReleaseLink(Link link);   // clears the flag if a session on `link` holds it

  void SetFolder(std::string folder);
  std::string Folder() const;
  void SetDownloadFilePath(std::string path);
  std::string DownloadFilePath() const;

 private:
  std::atomic<uint32_t> busy_{0};    // 0 idle, else (generation << 2) | link
  std::atomic<uint32_t> latest_{0};  // the token accepted last
  std::atomic<uint32_t> generation_{0};
  mutable std::mutex mutex_;
  std::string folder_;
  std::string downloadFilePath_ = "/~tmpDown.hvd";
};

SessionState& Session();

// The download file's name inside the work folder, and the folder joined with it (an empty
// folder gives the name alone: the current folder).
inline constexpr const char* kDownloadFileName = NL_DOWNLOAD_FILE_NAME;
std::string DownloadFilePathIn(const std::string& folder);

// How long a frame receiver waits for the rest of a frame, and an upload step for an answer.
// 3 s in service; tests shorten it.
std::chrono::milliseconds AnswerWait();
void SetAnswerWait(std::chrono::milliseconds wait);

}  // namespace transfer
