// penwick-sim serial: the receiver on a pseudo-terminal. Prints the slave path, optionally runs
// a command against it, waits for the reboot frame and plays a download or an upload.
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "child.h"
#include "options.h"
#include "pty.h"
#include "receiver/images.h"
#include "receiver/play.h"
#include "serial_link.h"
#include "sim_sides.h"

namespace sim {
namespace {

using namespace std::chrono_literals;

// Waits for {PSN 0, CMD_REBOOT, LEN 0}; other frames are ignored. Empty when it came.
std::string WaitForReboot(SerialLink& link, int seconds, Child& child, const LogFn& log) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    Frame f;
    switch (link.Receive(&f, 200ms)) {
      case Link::Rx::Frame:
        if (log) log("<- " + Describe(f));
        if (f.cmd == kCmdReboot && f.psn == 0 && f.payload.empty()) return {};
        break;
      case Link::Rx::BadSum:
        if (log) log("<- frame with a bad SUM, ignored");
        break;
      case Link::Rx::Closed:
        return "the line failed while waiting for the reboot frame";
      case Link::Rx::Timeout:
        break;
    }
    int status = 0;
    if (child.Exited(&status))
      return "the command exited (status " + std::to_string(status) + ") before the reboot frame";
  }
  return "no reboot frame within " + std::to_string(seconds) + " s";
}

}  // namespace

int RunSerialSide(int argc, char** argv) {
  SerialOptions o;
  bool help = false;
  std::string error;
  if (!ParseSerialOptions(argc, argv, &o, &help, &error)) {
    std::fprintf(stderr, "penwick-sim serial: %s (--help lists the options)\n", error.c_str());
    return 2;
  }
  if (help) {
    std::fputs(SerialUsage().c_str(), stdout);
    return 0;
  }
  Images images;
  if (!LoadReceiverImages(o, &images, &error)) {
    std::fprintf(stderr, "penwick-sim serial: %s\n", error.c_str());
    return 2;
  }
  Pty pty;
  if (!pty.Create(&error)) return ReportRun(false, error);
  std::printf("PTY %s\n", pty.SlavePath().c_str());
  std::fflush(stdout);

  const LogFn log = VerboseLog(o);
  Child child;
  if (!o.run.empty() &&
      !child.Start(o.run, "PENWICK_COM" + std::to_string(o.comNumber), pty.SlavePath(), &error))
    return ReportRun(false, error);

  SerialLink link(pty, o.noise, o.seed, o.hangupAfter);
  SessionResult result;
  if (o.waitReboot) error = WaitForReboot(link, o.timeoutSeconds, child, log);
  if (!error.empty()) {
    result.summary = error;
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(o.rebootDelayMs));
    const size_t noiseBefore = link.NoiseReceived();
    result = PlaySession(o, link, images, log);
    if (link.HungUp() && result.lineLost) {
      result.ok = true;
      result.summary = std::string(o.mode == Mode::Upload ? "upload" : "download") +
                       " hung up after " + std::to_string(o.hangupAfter) + " frames as asked";
    }
    if (link.NoiseReceived() > noiseBefore && result.ok) {
      result.ok = false;
      result.summary =
          std::to_string(link.NoiseReceived() - noiseBefore) + " bytes from the PC outside frames";
    }
  }
  if (o.lingerMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(o.lingerMs));
  if (child.Running() || !o.run.empty()) {
    const int status = child.Finish(std::chrono::seconds(o.timeoutSeconds));
    if (status != 0 && result.ok) {
      result.ok = false;
      result.summary =
          "the command exited with status " + std::to_string(status) + " after " + result.summary;
    }
  }
  return ReportRun(result.ok, result.summary + (result.ok ? RunCounts(result) : ""));
}

}  // namespace sim
