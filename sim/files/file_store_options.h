// Options of the emulated receiver's file store (`penwick-sim usb --files DIR ...`) and the
// faults it injects on request.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim::files {

enum class FaultKind {
  kCrc,         // the packet goes out with a damaged CRC
  kDrop,        // the packet is lost (for a file the host sends: a lost acknowledgement)
  kRefuse,      // PKT_FAIL "refused" instead, and the transfer is abandoned
  kCancel,      // PKT_CANCEL instead, and the transfer is abandoned
  kDisconnect,  // the device drops off the bus instead (and comes back after its reboot delay)
  kSilence,     // nothing more is sent until the next request
};

// A fault strikes the `at`-th packet the receiver sends (counted from 1 over its whole run).
struct FileFault {
  FaultKind kind = FaultKind::kCrc;
  uint64_t at = 1;
};

struct FileStoreOptions {
  std::string folder;  // the store; empty: no file store
  std::vector<FileFault> faults;
  std::chrono::milliseconds resend{15000};  // a packet still unanswered is sent again
  std::string log;                          // one line per packet; empty: none
};

extern const char kFileStoreUsage[];

// True for the file store's options; each takes a value.
bool IsFileStoreOption(std::string_view name);
// Applies one option; false with a message in `*error`.
bool ParseFileStoreOption(std::string_view name, const char* value, FileStoreOptions* options,
                          std::string* error);

const char* FaultName(FaultKind kind);

}  // namespace sim::files
