// Serial sessions: starting one worker at a time on the current link, its frames and waits.
#include "serial_session.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "worker_threads.h"

namespace transfer {
namespace {

std::atomic<int> g_liveSerialWorkers{0};

}  // namespace

int LiveSerialWorkers() {
  return g_liveSerialWorkers.load();
}

SerialSession::SerialSession(std::shared_ptr<CSerialComm> link, uint32_t token)
    : SessionTicket(token), link_(std::move(link)) {
  receiver_.queue = &link_->m_QueueRead;
  receiver_.running = [token] { return Session().Holds(token); };
  receiver_.bodyWait = AnswerWait();
}

int SerialSession::SendFrame(uint8_t psn, uint8_t cmd, const uint8_t* payload, uint8_t length) {
  uint8_t frame[kSerialFrameBuffer] = {psn, cmd, length};
  if (length != 0) std::copy(payload, payload + length, frame + kFramePayload);
  return link_->SendPacket(frame);
}

void SerialSession::WaitForBytes(std::chrono::steady_clock::time_point deadline) {
  link_->m_QueueRead.WaitForData(deadline, [this] { return !Running(); });
}

void SerialSession::WaitForBytes() {
  // The link's close and the data both wake this wait; the time-out is only a safety net.
  WaitForBytes(std::chrono::steady_clock::now() + std::chrono::seconds(1));
}

int StartSerialSession(std::function<void(SerialSession&)> worker) {
  std::shared_ptr<CSerialComm> link = CurrentSerialLink();
  if (!link || !link->Running() || Session().portOpen.load() == 0) return 0;
  const uint32_t token = Session().Acquire(Link::Serial);
  if (token == 0) return 0;
  // Accepted: only now may the start touch the session's flags.
  Session().success.store(0);
  g_liveSerialWorkers.fetch_add(1);
  const bool started = StartDetachedThread([link, token, worker = std::move(worker)] {
    SetCurrentThreadPriority(ThreadPriority::Normal);
    {
      SerialSession session(link, token);
      worker(session);
    }
    g_liveSerialWorkers.fetch_sub(1);
  });
  if (!started) {
    g_liveSerialWorkers.fetch_sub(1);
    Session().Release(token);
    return 0;
  }
  return 1;
}

}  // namespace transfer
