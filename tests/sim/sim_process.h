// Runs penwick-sim serial as a child process for the tests and plays the PC on its line with
// the platform's serial port.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "child_process.h"
#include "penwick/serial_port.hpp"
#include "receiver/serial_frames.h"

namespace simtest {

class SimProcess {
 public:
  // Starts `penwick-sim serial ARGS` and reads its first line; true when it named a pty.
  bool Start(const std::vector<std::string>& args);
  const std::string& PtyPath() const { return pty_; }
  // Reads the rest of its output and waits for it to end (killing it after `timeout`).
  // Returns the exit status; `lastLine` gets its last output line.
  int Finish(std::string* lastLine, std::chrono::seconds timeout = std::chrono::seconds(120));

 private:
  pwtest::ChildProcess child_;
  std::string pty_;
};

// The PC's end of the line.
class Host {
 public:
  bool Open(const std::string& path) { return port_.Open(path, 115200); }
  bool Send(const sim::Frame& frame, uint8_t sumDelta = 0);
  bool SendRaw(const std::vector<uint8_t>& bytes);
  // The next frame within `timeout`; false on time-out. `badSum` tells a damaged frame.
  bool Receive(sim::Frame* out, std::chrono::milliseconds timeout, bool* badSum = nullptr);
  size_t Noise() const { return parser_.NoiseBytes(); }
  // Whether the port reported the line failed (a hang-up) in its last wait or read.
  bool LineFailed() const { return lineFailed_; }

 private:
  pw::SerialPort port_;
  sim::SerialFrameParser parser_;
  bool lineFailed_ = false;
};

}  // namespace simtest
