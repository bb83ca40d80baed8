// The watch thread: the queue's only producer while its link runs.
#include <array>
#include <chrono>

#include "penwick/message_box.hpp"
#include "serial_comm.h"
#include "worker_threads.h"

namespace transfer {

void ThreadWatchComm(std::shared_ptr<CSerialComm> comm) {
  SetCurrentThreadPriority(ThreadPriority::Highest);
  std::array<uint8_t, 2048> chunk;
  bool portFailed = false;
  while (comm->Running() && !portFailed) {
    // Close wakes this wait at once; the time-out only bounds it.
    const auto woke = comm->port_.WaitForData(std::chrono::seconds(1));
    if (woke == pw::SerialPort::WaitResult::Closed || woke == pw::SerialPort::WaitResult::Error)
      break;
    if (woke != pw::SerialPort::WaitResult::Data) continue;
    for (;;) {
      const long count = comm->port_.Read(chunk.data(), chunk.size());
      if (count < 0) portFailed = true;
      if (count <= 0) break;
      if (!comm->m_QueueRead.PushChunk(chunk.data(), static_cast<size_t>(count)))
        pw::ShowMessageBox(nullptr, "m_QueueRead FULL!", "Notice", pw::kMbOk | pw::kMbIconError);
    }
  }
  comm->watchRunning_.store(false);
}

}  // namespace transfer
