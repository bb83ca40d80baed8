// The serial download: the receiver asks for the download file block by block and the worker
// serves what is asked for.
#include <array>
#include <chrono>
#include <thread>

#include "PenwickHelpers.h"
#include "download_file_access.h"
#include "library_state.h"
#include "notifications.h"
#include "serial_session.h"

namespace transfer {
namespace {

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
  // Removes the download file once the session has ended.
  void Discard() { file_.Discard(); }

 private:
  bool OnRequest(uint8_t psn, const uint8_t* payload) {
    started_ = true;
    requested_ = true;
    file_.Discard();  // a repeated request writes the file again
    const uint16_t systemId = Get16bit(payload);
    Stores().PutSystemId(systemId);
    Stores().PutIdentity(payload + 2);
    session_.SendFrame(psn, CMD_DOWN_READY);
    // One path for writing and reading back, even if a refused start changes the folder.
    const std::string path = DownloadFilePathIn(Session().Folder());
    if (!WriteDownloadFileFor(systemId, path)) {
      session_.Notify(NL_NOTIFY_DOWNLOAD_ERROR, 0);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Session().SetDownloadFilePath(path);
    return file_.Open(path);
  }

  void OnBlockRequest(uint8_t psn, const uint8_t* payload) {
    const uint8_t length = payload[0];
    const uint32_t offset = Get24bit(payload + 1);
    uint8_t block[255];
    if (!file_.Read(offset, length, block)) return;  // left unanswered
    session_.SendFrame(psn, CMD_BLOCK, block, length);
    const auto percent = static_cast<int>(static_cast<int64_t>(offset) * 100 / file_.size());
    session_.SetDownloadPercent(percent);
    session_.Notify(NL_NOTIFY_DOWN_PERCENT, percent);
  }

  void OnEnd() {
    session_.SetDownloadPercent(100);
    session_.Notify(NL_NOTIFY_DOWN_PERCENT, 100);
    file_.Close();
    succeeded_ = true;
    session_.Succeed();
    session_.End();
    session_.Link().m_QueueRead.Reset();
  }

  SerialSession& session_;
  DownloadFileReader file_;
  bool started_ = false;    // serving block requests
  bool requested_ = false;  // a CMD_REQUEST came in this session
  bool succeeded_ = false;
};

}  // namespace

void SerialDownloadWorker(SerialSession& session) {
  session.SetDownloadPercent(-1);
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
  server.Discard();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  session.Complete(server.Succeeded() ? NL_SERIAL_DOWN_DONE : NL_SERIAL_DOWN_FAILED);
}

}  // namespace transfer
