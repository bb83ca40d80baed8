// A pseudo-terminal pair for the emulated receiver: it holds the master side and plays the
// line; the PC opens the slave path like any serial device. The emulator also keeps the slave
// open itself (never reading from it), so the line does not hang up while the PC closes and
// reopens its port, and sets it raw so nothing is echoed before the PC configures it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

class Pty {
 public:
  Pty() = default;
  ~Pty();
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  bool Create(std::string* error);
  const std::string& SlavePath() const { return slavePath_; }

  // Writes every byte within `timeout`; false on failure or time-out.
  bool Write(const uint8_t* data, size_t size, std::chrono::milliseconds timeout);
  // Bytes that arrive within `timeout`: the count, 0 on time-out, -1 when the line failed.
  long Read(uint8_t* buffer, size_t max, std::chrono::milliseconds timeout);
  // Closes both ends held here: the PC's side of the line hangs up, as when a cable is pulled.
  void HangUp();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

}  // namespace sim
