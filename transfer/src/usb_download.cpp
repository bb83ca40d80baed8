// The USB download: the receiver asks for blocks of the download file by length and offset
// and ends with CMD_END; the worker serves each block, and ends the session with a failure
// for a request it cannot serve or after three failed reads in a row.
#include <vector>

#include "PenwickHelpers.h"
#include "download_file_access.h"
#include "frames.h"
#include "notifications.h"
#include "usb_frames.h"
#include "usb_session.h"

namespace transfer {

void UsbDownloadWorker(const UsbSession& session) {
  session.ClearFailures();
  session.SetDownloadPercent(-1);
  DownloadFileReader file;
  if (!file.Open(Session().DownloadFilePath())) {
    // The caller must learn of it, and the next session must be able to start.
    file.Discard();
    session.Notify(NL_NOTIFY_DOWNLOAD_ERROR, 0);
    session.Finish(std::chrono::milliseconds(100), NL_USB_DOWN_FAILED);
    return;
  }
  std::vector<uint8_t> frame(kUsbFrameBuffer);
  std::vector<uint8_t> block(kMaxUsbPayload);
  bool succeeded = false;
  while (!session.Cancelled()) {
    if (UsbRecvFrame(frame.data()) != kRxFrame) {
      if (session.FailedRead()) break;
      continue;
    }
    const uint8_t* payload = frame.data() + kUsbFramePayload;
    const uint32_t length = Get16bit(frame.data() + kUsbFrameLen);
    const uint8_t cmd = frame[kUsbFrameCmd];
    if (cmd == CMD_BLOCK_REQ && length >= 5) {
      const uint32_t blockLength = Get16bit(payload);
      const uint32_t offset = Get24bit(payload + 2);
      session.ClearFailures();
      // A block whose frame would not fit one transfer, or that the file does not hold, ends
      // the download.
      if (blockLength > kMaxUsbPayload || !file.Read(offset, blockLength, block.data())) break;
      UsbSendFrame(frame[kUsbFramePsn], CMD_BLOCK, block.data(), blockLength);
      const auto percent = static_cast<int>(static_cast<int64_t>(offset) * 100 / file.size());
      session.SetDownloadPercent(percent);
      session.Notify(NL_NOTIFY_DOWN_PERCENT, percent);
    } else if (cmd == CMD_END) {
      session.SetDownloadPercent(100);
      session.Notify(NL_NOTIFY_DOWN_PERCENT, 100);
      file.Close();
      session.Succeed();
      succeeded = true;
      break;
    }
  }
  file.Discard();
  session.Finish(std::chrono::milliseconds(100), succeeded ? NL_USB_DOWN_DONE : NL_USB_DOWN_FAILED);
}

}  // namespace transfer
