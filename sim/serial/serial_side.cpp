// penwick-sim serial: the receiver on a pseudo-terminal. Prints the slave path, optionally runs
// a command against it, waits for the reboot frame and plays a download or an upload.
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "child.h"
#include "options.h"
#include "pty.h"
#include "receiver/download_session.h"
#include "receiver/expander.h"
#include "receiver/images.h"
#include "receiver/upload_session.h"
#include "serial_link.h"
#include "sim_sides.h"

namespace sim {
namespace {

using namespace std::chrono_literals;

int Report(bool ok, const std::string& text) {
  std::printf("SIM %s %s\n", ok ? "OK" : "FAIL", text.c_str());
  std::fflush(stdout);
  return ok ? 0 : 1;
}

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

std::string Counts(const SessionResult& r) {
  std::string s;
  if (r.retries) s += ", " + std::to_string(r.retries) + " requests sent again";
  if (r.staleAnswers) s += ", " + std::to_string(r.staleAnswers) + " late answers ignored";
  return s;
}

bool SaveFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && written;
}

// The transfer itself, once the receiver has restarted.
SessionResult PlayReceiver(SerialOptions& o, SerialLink& link, const Images& images,
                           const LogFn& log) {
  if (o.mode == Mode::Upload) {
    UploadOptions u;
    u.psn = o.psn;
    u.identity = o.identity;
    u.answerTimeout = std::chrono::milliseconds(o.answerMs);
    u.idleTimeout = std::chrono::milliseconds(o.idleMs);
    u.tries = o.tries;
    u.flashSize = o.flashSize;
    return RunUpload(link, u, o.faults, images, log);
  }
  DownloadOptions d;
  d.psn = o.psn;
  d.identity = o.identity;
  d.blockSize = o.blockSize;
  d.order = o.order;
  d.seed = o.seed;
  d.answerTimeout = std::chrono::milliseconds(o.answerMs);
  d.prepareTimeout = std::chrono::milliseconds(o.prepareMs);
  d.tries = o.tries;
  SessionResult result = RunDownload(link, d, o.faults, images, CodecExpander(), log);
  if (!o.saveFile.empty() && !result.file.empty() && !SaveFile(o.saveFile, result.file)) {
    std::fprintf(stderr, "penwick-sim serial: cannot write %s\n", o.saveFile.c_str());
    if (result.ok) result.summary += " (not saved)";
  }
  return result;
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
    std::fputs(kSerialUsage, stdout);
    return 0;
  }
  Images images;
  bool loaded = o.pakFile.empty() ? LoadTransferFile(o.transferFile, &images, &error)
                                  : LoadImageFiles(o.pakFile, o.eepromFile, &images, &error);
  if (!loaded) {
    std::fprintf(stderr, "penwick-sim serial: %s\n", error.c_str());
    return 2;
  }
  Pty pty;
  if (!pty.Create(&error)) return Report(false, error);
  std::printf("PTY %s\n", pty.SlavePath().c_str());
  std::fflush(stdout);

  LogFn log;
  if (o.verbose)
    log = [](const std::string& line) { std::fprintf(stderr, "sim %s\n", line.c_str()); };
  Child child;
  if (!o.run.empty() &&
      !child.Start(o.run, "PENWICK_COM" + std::to_string(o.comNumber), pty.SlavePath(), &error))
    return Report(false, error);

  SerialLink link(pty, o.noise, o.seed, o.hangupAfter);
  SessionResult result;
  if (o.waitReboot) error = WaitForReboot(link, o.timeoutSeconds, child, log);
  if (!error.empty()) {
    result.summary = error;
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(o.rebootDelayMs));
    const size_t noiseBefore = link.NoiseReceived();
    result = PlayReceiver(o, link, images, log);
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
  return Report(result.ok, result.summary + (result.ok ? Counts(result) : ""));
}

}  // namespace sim
