// Opening and closing the serial link, and its writes, reads and frames.
#include "serial_comm.h"

#include <algorithm>
#include <array>
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
  // The port's close lets a frame already written (the reboot request sent just before) leave
  // whole, and discards what came in.
  port_.Close();
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
  // One write of the whole frame: a close or a failure can then cut it only where the line
  // itself fails, never between the magic and the body.
  const size_t bodyLength = static_cast<size_t>(frame[2]) + 3;
  std::array<uint8_t, sizeof kMagic + kSerialFrameBuffer> line;
  std::copy(kMagic, kMagic + sizeof kMagic, line.begin());
  std::copy(frame, frame + bodyLength, line.begin() + sizeof kMagic);
  line[sizeof kMagic + bodyLength] = FrameSum(frame, bodyLength);
  std::lock_guard lock(sendMutex_);
  return Write(line.data(), sizeof kMagic + bodyLength + 1) > 0 ? 0 : -1;
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
