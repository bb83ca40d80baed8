// The serial download: the receiver asks for the download file block by block and the worker
// serves what is asked for.
#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "PenwickHelpers.h"
#include "download_file.h"
#include "image_layout.h"
#include "library_state.h"
#include "notifications.h"
#include "serial_session.h"

namespace transfer {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Writes the download file for the receiver that announced `systemId` at `path`;
// notification 17 when it cannot be written.
bool WriteDownloadFileFor(uint16_t systemId, const std::string& path) {
  std::vector<uint8_t> packed(codec::kContainerSize);
  std::array<uint8_t, codec::kEepromSize> eeprom{};
  Stores().GetPacked(packed.data());
  Stores().GetEeprom(eeprom.data());
  if (codec::WriteDownloadFile(systemId, packed.data(), eeprom.data(), path)) return true;
  Notify(kNotifyDownloadError, 0);
  return false;
}

class DownloadServer {
 public:
  explicit DownloadServer(SerialSession& session) : session_(session) {}

  // Acts on one received frame; false when the session has ended with a failure.
  bool Handle(const uint8_t* frame) {
    const uint8_t psn = frame[kFramePsn];
    const size_t length = frame[kFrameLen];
    const uint8_t* payload = frame + kFramePayload;
    switch (frame[kFrameCmd]) {
      case CMD_REQUEST:
        // A request too short to carry the receiver's identity is ignored like a bad frame.
        return length < kRequestPayload || OnRequest(psn, payload);
      case CMD_BLOCK_REQ:
        if (started_ && length >= kBlockReqPayload) OnBlockRequest(psn, payload);
        return true;
      case CMD_END:
        // An end before any request of this session would report a download that never
        // happened: it is ignored.
        if (requested_) OnEnd();
        return true;
      default:
        started_ = false;  // block requests wait for the next CMD_REQUEST
        return true;
    }
  }

  bool Succeeded() const { return succeeded_; }

 private:
  bool OnRequest(uint8_t psn, const uint8_t* payload) {
    started_ = true;
    requested_ = true;
    file_.reset();
    const uint16_t systemId = Get16bit(payload);
    Stores().PutSystemId(systemId);
    Stores().PutIdentity(payload + 2);
    session_.SendFrame(psn, CMD_DOWN_READY);
    // One path for writing and reading back, even if a refused start changes the folder.
    const std::string path = DownloadFilePathIn(Session().Folder());
    if (!WriteDownloadFileFor(systemId, path)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Session().SetDownloadFilePath(path);
    file_.reset(std::fopen(path.c_str(), "rb"));
    if (!file_ || std::fseek(file_.get(), 0, SEEK_END) != 0) return false;
    const long size = std::ftell(file_.get());
    if (size <= 0) return false;
    size_ = size;
    return true;
  }

  void OnBlockRequest(uint8_t psn, const uint8_t* payload) {
    const uint8_t length = payload[0];
    const long offset = static_cast<long>(Get24bit(payload + 1));
    if (size_ < offset + length || std::fseek(file_.get(), offset, SEEK_SET) != 0) return;
    uint8_t block[255];
    if (std::fread(block, 1, length, file_.get()) != length) return;  // left unanswered
    session_.SendFrame(psn, CMD_BLOCK, block, length);
    const int percent = static_cast<int>(offset * 100 / size_);
    Session().downloadPercent.store(percent);
    Notify(kNotifyDownPercent, percent);
  }

  void OnEnd() {
    Session().downloadPercent.store(100);
    Notify(kNotifyDownPercent, 100);
    file_.reset();
    succeeded_ = true;
    Session().success.store(1);
    session_.End();
    session_.Link().m_QueueRead.Reset();
  }

  SerialSession& session_;
  File file_;
  long size_ = 0;
  bool started_ = false;    // serving block requests
  bool requested_ = false;  // a CMD_REQUEST came in this session
  bool succeeded_ = false;
};

}  // namespace

void SerialDownloadWorker(SerialSession& session) {
  Session().downloadPercent.store(-1);
  DownloadServer server(session);
  std::array<uint8_t, kSerialFrameBuffer> frame{};
  while (session.Running()) {
    const int received = RxPacket_Download(session.Receiver(), frame.data());
    if (received == kRxNone) session.WaitForBytes();
    if (received != kRxFrame) continue;
    if (!server.Handle(frame.data())) {
      // The download file could not be written or read back: the session ends with a
      // failure instead of leaving the caller waiting.
      session.End();
      break;
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  NotifyCompletion(server.Succeeded() ? kResultSerialDownOk : kResultSerialDownFail);
}

}  // namespace transfer
