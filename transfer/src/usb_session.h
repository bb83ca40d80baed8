// What a USB session's worker holds: its ticket, the cancel flag and the count of failed
// reads; and the start of a USB session, whose opening exchange runs on the caller's thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "session_ticket.h"

namespace transfer {

class UsbSession : public SessionTicket {
 public:
  using SessionTicket::SessionTicket;

  bool Cancelled() const { return Session().usbCancel.load() != 0; }
  // Counts a failed read; true when three in a row have failed.
  bool FailedRead() const { return Session().usbFailures.fetch_add(1) + 1 >= 3; }
  void ClearFailures() const { Session().usbFailures.store(0); }
  // The next PSN of the PC's own frames: the low 8 bits of the process-wide counter.
  static uint8_t NextPsn() { return static_cast<uint8_t>(Session().usbSequence.fetch_add(1) + 1); }

  // Ends the session: waits `pause`, sends the completion notice with `result`, then clears
  // the worker flag and the busy flag, in that order, so the next session finds both clear.
  void Finish(std::chrono::milliseconds pause, intptr_t result) const;
};

enum class UsbTransfer { Download, Upload };

// Claims the busy flag, runs the opening exchange (a download also writes its download file)
// and starts the worker. 1 when started; 0 when USB is not ready, a session runs, the opening
// fails or the worker's thread cannot be created (every flag set here is cleared again).
int StartUsbSession(UsbTransfer transfer);

// The number of USB session workers that have not ended yet (tests wait for it).
int LiveUsbWorkers();

// The workers.
void UsbDownloadWorker(const UsbSession& session);
void UsbUploadWorker(const UsbSession& session);

}  // namespace transfer
