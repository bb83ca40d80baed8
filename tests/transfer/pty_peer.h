// A hand-rolled receiver for the serial tests: the master side of a pseudo-terminal whose
// slave the library opens. It writes frames and parses the frames the library sends with its
// own strict reader, so a fault in the library's framing shows up here.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testpeer {

struct Frame {
  uint8_t psn = 0;
  uint8_t cmd = 0;
  std::vector<uint8_t> payload;
};

// "HaVo", PSN, CMD, LEN, payload, SUM. `sumDelta` is added to the SUM (a corrupted frame).
std::vector<uint8_t> EncodeFrame(uint8_t psn, uint8_t cmd, const std::vector<uint8_t>& payload,
                                 int sumDelta = 0);
// A CMD_REQUEST payload: system id and 32 identity bytes.
std::vector<uint8_t> RequestPayload(uint16_t systemId, const std::vector<uint8_t>& identity);

class PtyPeer {
 public:
  PtyPeer();
  ~PtyPeer();
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  const std::string& SlavePath() const { return slave_; }

  void Write(const std::vector<uint8_t>& bytes);
  void SendFrame(uint8_t psn, uint8_t cmd, const std::vector<uint8_t>& payload = {},
                 int sumDelta = 0);
  // The next frame the library sent, or nothing within `timeout`. Bytes before a magic are
  // counted in Noise().
  std::optional<Frame> ReadFrame(std::chrono::milliseconds timeout = std::chrono::seconds(20));
  // Exactly `count` raw bytes, or fewer when the time-out passes.
  std::vector<uint8_t> ReadBytes(size_t count, std::chrono::milliseconds timeout);
  // Every byte the library has written so far, raw.
  size_t BytesSeen() const { return bytesSeen_; }
  size_t Noise() const { return noise_; }

 private:
  bool Fill(std::chrono::steady_clock::time_point deadline);

  int master_ = -1;
  std::string slave_;
  std::vector<uint8_t> pending_;
  size_t bytesSeen_ = 0;
  size_t noise_ = 0;
};

}  // namespace testpeer
