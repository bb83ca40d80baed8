// Starting penwick-sim serial and playing the PC on its line.
#include "sim_process.h"

namespace simtest {

bool SimProcess::Start(const std::vector<std::string>& args) {
  std::vector<std::string> all = {PENWICK_SIM_PATH, "serial"};
  all.insert(all.end(), args.begin(), args.end());
  if (!child_.Start(all)) return false;
  // The first line names the pty.
  const std::string line = child_.ReadLine(std::chrono::seconds(30));
  if (line.empty() || line.back() != '\n' || line.rfind("PTY ", 0) != 0) return false;
  pty_ = line.substr(4, line.size() - 5);
  return true;
}

int SimProcess::Finish(std::string* lastLine, std::chrono::seconds timeout) {
  pwtest::ChildProcess::Exit exit = child_.Finish(timeout);
  *lastLine = std::move(exit.lastLine);
  return exit.status;
}

bool Host::Send(const sim::Frame& frame, uint8_t sumDelta) {
  return SendRaw(sim::EncodeSerialFrame(frame, sumDelta));
}

bool Host::SendRaw(const std::vector<uint8_t>& bytes) {
  return port_.Write(bytes.data(), bytes.size()) == static_cast<long>(bytes.size());
}

bool Host::Receive(sim::Frame* out, std::chrono::milliseconds timeout, bool* badSum) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (auto r = parser_.Next()) {
      *out = r->frame;
      if (badSum) *badSum = r->kind == sim::SerialFrameParser::Kind::BadSum;
      return true;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    const pw::SerialPort::WaitResult wait = port_.WaitForData(left);
    lineFailed_ = wait == pw::SerialPort::WaitResult::Error;
    if (wait != pw::SerialPort::WaitResult::Data) return false;
    uint8_t buf[1024];
    long n = port_.Read(buf, sizeof buf);
    lineFailed_ = n < 0;
    if (n < 0) return false;
    parser_.Feed(buf, static_cast<size_t>(n));
  }
}

}  // namespace simtest
