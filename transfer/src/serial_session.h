// What a serial session's worker holds: the link it started on, the token of its busy flag
// and its frame receiver.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "frames.h"
#include "serial_comm.h"
#include "session_state.h"
#include "session_ticket.h"

namespace transfer {

// The session runs while it holds the busy flag (Running): Dll_CloseSerialPort or its own end
// clears it.
class SerialSession : public SessionTicket {
 public:
  SerialSession(std::shared_ptr<CSerialComm> link, uint32_t token);

  CSerialComm& Link() { return *link_; }
  SerialReceiver& Receiver() { return receiver_; }
  int SendFrame(uint8_t psn, uint8_t cmd, const uint8_t* payload = nullptr, uint8_t length = 0);

  // Sleeps until bytes are queued, the session stops or `deadline` passes.
  void WaitForBytes(std::chrono::steady_clock::time_point deadline);
  // Sleeps until bytes are queued or the session stops (the link's close wakes it).
  void WaitForBytes();

 private:
  std::shared_ptr<CSerialComm> link_;
  SerialReceiver receiver_;
};

// Claims the busy flag for a serial session on the current link, clears the success flag and
// runs `worker` on a thread of its own. 1 when started; 0 when the port is not open, a session
// runs or the thread cannot be created (the busy flag is then released again).
int StartSerialSession(std::function<void(SerialSession&)> worker);

// The number of serial session workers that have not ended yet (tests wait for it).
int LiveSerialWorkers();

// The serial workers.
void SerialDownloadWorker(SerialSession& session);
void SerialUploadWorker(SerialSession& session);

}  // namespace transfer
