// The emulated receiver's serial frame parser on arbitrary line bytes, fed in pieces whose
// sizes come from the input too. Every frame it reports must re-encode to bytes that parse to
// the same frame, and it must never hold more than one frame's worth of bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz_target.h"
#include "receiver/serial_frames.h"

namespace {

// Parses the input; returns how many good frames it held.
size_t ParseAll(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = 1 + data[0] % 64;
  sim::SerialFrameParser parser;
  size_t frameBytes = 0;
  size_t good = 0;
  for (size_t at = 1; at < size; at += piece) {
    const size_t n = at + piece <= size ? piece : size - at;
    parser.Feed(data + at, n);
    while (auto r = parser.Next()) {
      if (r->frame.payload.size() > sim::kMaxSerialPayload) std::abort();
      frameBytes += 8 + r->frame.payload.size();
      if (r->kind != sim::SerialFrameParser::Kind::Good) continue;
      ++good;
      std::vector<uint8_t> wire = sim::EncodeSerialFrame(r->frame);
      sim::SerialFrameParser again;
      again.Feed(wire.data(), wire.size());
      auto back = again.Next();
      if (!back || back->kind != sim::SerialFrameParser::Kind::Good ||
          back->frame.psn != r->frame.psn || back->frame.cmd != r->frame.cmd ||
          back->frame.payload != r->frame.payload)
        std::abort();
    }
    if (parser.Pending() > 8 + sim::kMaxSerialPayload) std::abort();
  }
  // Every byte is noise, part of a frame, or still pending.
  if (parser.NoiseBytes() + frameBytes + parser.Pending() != size - 1) std::abort();
  return good;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ParseAll(data, size);
  return 0;
}

bool FuzzInputRefused(const uint8_t* data, size_t size) {
  return ParseAll(data, size) == 0;
}
