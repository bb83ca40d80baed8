// Opening and closing the serial link, and its writes, reads and frames.
#include "serial_comm.h"

#include <utility>

#include "frames.h"
#include "worker_threads.h"

namespace transfer {
namespace {

std::mutex g_linkMutex;
std::shared_ptr<CSerialComm> g_link;

}  // namespace

CSerialComm::~CSerialComm() = default;

bool CSerialComm::Open(const std::string& name, uint32_t baud) {
  running_.store(0);
  if (!port_.Open(name, baud)) return false;
  running_.store(1);
  watchRunning_.store(true);
  if (!StartDetachedThread([comm = shared_from_this()] { ThreadWatchComm(comm); })) {
    watchRunning_.store(false);
    Close();
    return false;
  }
  return true;
}

void CSerialComm::Close() {
  running_.store(0);
  if (port_.IsOpen()) {
    port_.Purge();
    port_.Close();
  }
  m_QueueRead.Wake();
}

long CSerialComm::Write(const uint8_t* data, size_t length) {
  if (!port_.IsOpen()) return 0;
  const long written = port_.Write(data, length);
  return written == static_cast<long>(length) ? written : -1;
}

long CSerialComm::Read(uint8_t* buffer, size_t max) {
  const long count = port_.Read(buffer, max);
  return count > 0 ? count : 0;
}

int CSerialComm::SendPacket(const uint8_t* frame) {
  const size_t bodyLength = static_cast<size_t>(frame[2]) + 3;
  const uint8_t sum = FrameSum(frame, bodyLength);
  std::lock_guard lock(sendMutex_);
  if (Write(kMagic, sizeof kMagic) <= 0) return -1;
  if (Write(frame, bodyLength) <= 0) return -1;
  if (Write(&sum, 1) <= 0) return -1;
  return 0;
}

std::shared_ptr<CSerialComm> CurrentSerialLink() {
  std::lock_guard lock(g_linkMutex);
  return g_link;
}

bool OpenSerialLink(const std::string& name, uint32_t baud) {
  auto link = std::make_shared<CSerialComm>();
  if (!link->Open(name, baud)) return false;
  std::lock_guard lock(g_linkMutex);
  g_link = std::move(link);
  return true;
}

void CloseSerialLink() {
  std::shared_ptr<CSerialComm> link;
  {
    std::lock_guard lock(g_linkMutex);
    link.swap(g_link);
  }
  if (link) link->Close();
}

}  // namespace transfer
