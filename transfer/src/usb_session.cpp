#include "usb_session.h"

#include <atomic>
#include <thread>

#include "download_file_access.h"
#include "frames.h"
#include "notifications.h"
#include "usb_opening.h"
#include "worker_threads.h"

namespace transfer {
namespace {

std::atomic<int> g_liveUsbWorkers{0};

// The download's part of the opening: the download file for the receiver that answered.
bool PrepareDownload(const UsbSession& session, const OpeningAnswer& answer) {
  const std::string path = DownloadFilePathIn(Session().Folder());
  if (!WriteDownloadFileFor(answer.systemId, path)) {
    session.Notify(NL_NOTIFY_DOWNLOAD_ERROR, 0);
    return false;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  Session().SetDownloadFilePath(path);
  return true;
}

bool Open(const UsbSession& session, UsbTransfer transfer) {
  const bool download = transfer == UsbTransfer::Download;
  const auto answer = RunOpening(download ? CMD_REQUEST : CMD_UP_READY);
  return answer && (!download || PrepareDownload(session, *answer));
}

// The worker thread's body: one worker at a time, whatever happens.
void RunWorker(const UsbSession& session, UsbTransfer transfer) {
  SetCurrentThreadPriority(ThreadPriority::Normal);
  if (Session().usbReady.load() == 0 || Session().usbWorker.exchange(1) != 0) {
    // Another worker still runs (or USB was reset): this session ends at once, leaving the
    // flag it does not own alone.
    if (transfer == UsbTransfer::Download) RemoveDownloadFile(Session().DownloadFilePath());
    session.Complete(transfer == UsbTransfer::Download ? NL_USB_DOWN_FAILED : NL_USB_UP_FAILED);
    session.End();
    return;
  }
  if (transfer == UsbTransfer::Download) {
    UsbDownloadWorker(session);
  } else {
    UsbUploadWorker(session);
  }
}

}  // namespace

void UsbSession::Finish(std::chrono::milliseconds pause, intptr_t result) const {
  std::this_thread::sleep_for(pause);
  Complete(result);
  Session().usbWorker.store(0);
  End();
}

int LiveUsbWorkers() {
  return g_liveUsbWorkers.load();
}

int StartUsbSession(UsbTransfer transfer) {
  if (Session().usbReady.load() == 0) return 0;
  const uint32_t token = Session().Acquire(Link::Usb);
  if (token == 0) return 0;
  // Accepted: only now may the start touch the session's flags.
  Session().success.store(0);
  Session().usbCancel.store(0);
  const UsbSession session(token);
  if (!Open(session, transfer)) {
    session.End();
    return 0;
  }
  g_liveUsbWorkers.fetch_add(1);
  const bool started = StartDetachedThread([session, transfer] {
    RunWorker(session, transfer);
    g_liveUsbWorkers.fetch_sub(1);
  });
  if (!started) {
    g_liveUsbWorkers.fetch_sub(1);
    if (transfer == UsbTransfer::Download) RemoveDownloadFile(Session().DownloadFilePath());
    session.End();
    return 0;
  }
  return 1;
}

}  // namespace transfer
