// Parsing of the file store's options.
#include "file_store_options.h"

#include <string>

#include "number_option.h"

namespace sim::files {
namespace {

struct NamedFault {
  const char* name;
  FaultKind kind;
};
constexpr NamedFault kFaults[] = {
    {"crc", FaultKind::kCrc},
    {"drop", FaultKind::kDrop},
    {"refuse", FaultKind::kRefuse},
    {"cancel", FaultKind::kCancel},
    {"disconnect", FaultKind::kDisconnect},
    {"silence", FaultKind::kSilence},
};

}  // namespace

const char kFileStoreUsage[] =
    "File store (the receiver's side of the file-transfer packets):\n"
    "  --files DIR            keep and serve files in DIR; the last stdout line is then\n"
    "                         SIM OK <summary> or SIM FAIL <first fault of the host>\n"
    "  --files-log FILE       one line per packet (<- from the host, -> to it)\n"
    "  --files-resend-ms N    send a packet the host has not answered again after N ms,\n"
    "                         up to 3 times (default 15000; 0: never)\n"
    "  --files-fault KIND[@N] strike the N-th packet the receiver sends (default 1, counted\n"
    "                         over the whole run; repeatable): crc, drop, refuse, cancel,\n"
    "                         disconnect, silence (nothing more until the next request)\n";

bool IsFileStoreOption(std::string_view name) {
  return name == "--files" || name == "--files-log" || name == "--files-resend-ms" ||
         name == "--files-fault";
}

bool ParseFileStoreOption(std::string_view name, const char* value, FileStoreOptions* options,
                          std::string* error) {
  const std::string_view text(value);
  if (name == "--files") {
    if (text.empty()) {
      *error = "a folder";
      return false;
    }
    options->folder = value;
  } else if (name == "--files-log") {
    options->log = value;
  } else if (name == "--files-resend-ms") {
    unsigned long ms = 0;
    if (!ParseNumber(value, 10, 86400000, &ms)) {
      *error = "milliseconds";
      return false;
    }
    options->resend = std::chrono::milliseconds(ms);
  } else if (name == "--files-fault") {
    const size_t at = text.find('@');
    const std::string_view kind = text.substr(0, at);
    FileFault fault;
    unsigned long n = 1;
    if (at != std::string_view::npos &&
        (!ParseNumber(std::string(text.substr(at + 1)).c_str(), 10, UINT32_MAX, &n) || n == 0)) {
      *error = "a packet number from 1 after @";
      return false;
    }
    fault.at = n;
    bool known = false;
    for (const NamedFault& f : kFaults) {
      if (kind == f.name) {
        fault.kind = f.kind;
        known = true;
      }
    }
    if (!known) {
      *error = "one of crc, drop, refuse, cancel, disconnect, silence";
      return false;
    }
    options->faults.push_back(fault);
  } else {
    *error = "unknown option";
    return false;
  }
  return true;
}

const char* FaultName(FaultKind kind) {
  for (const NamedFault& f : kFaults) {
    if (f.kind == kind) return f.name;
  }
  return "?";
}

}  // namespace sim::files
