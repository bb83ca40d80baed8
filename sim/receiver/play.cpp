#include "play.h"

#include <cstdio>

#include "expander.h"

namespace sim {
namespace {

bool SaveFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && written;
}

}  // namespace

SessionResult PlaySession(ReceiverOptions& o, Link& link, const Images& images, const LogFn& log) {
  if (o.mode == Mode::Upload) return RunUpload(link, MakeUploadOptions(o), o.faults, images, log);
  SessionResult result =
      RunDownload(link, MakeDownloadOptions(o), o.faults, images, CodecExpander(), log);
  if (!o.saveFile.empty() && !result.file.empty() && !SaveFile(o.saveFile, result.file)) {
    std::fprintf(stderr, "penwick-sim: cannot write %s\n", o.saveFile.c_str());
    if (result.ok) result.summary += " (not saved)";
  }
  return result;
}

LogFn VerboseLog(const ReceiverOptions& o) {
  if (!o.verbose) return {};
  return [](const std::string& line) { std::fprintf(stderr, "sim %s\n", line.c_str()); };
}

std::string RunCounts(const SessionResult& r) {
  std::string s;
  if (r.retries) s += ", " + std::to_string(r.retries) + " requests sent again";
  if (r.staleAnswers) s += ", " + std::to_string(r.staleAnswers) + " late answers ignored";
  return s;
}

int ReportRun(bool ok, const std::string& text) {
  std::printf("SIM %s %s\n", ok ? "OK" : "FAIL", text.c_str());
  std::fflush(stdout);
  return ok ? 0 : 1;
}

}  // namespace sim
