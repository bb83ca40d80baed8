// The receiver's side of a download: request, block requests in its order, retries, end.
#include "download_session.h"

#include <PenwickHelpers.h>

#include <algorithm>
#include <numeric>
#include <optional>
#include <random>

namespace sim {
namespace {

constexpr size_t kMaxChunks = 64;
constexpr size_t kMaxFileSize = 0xFFFFFF;  // offsets are 24 bits

class Downloader : public SessionRun {
 public:
  Downloader(Link& link, const DownloadOptions& options, FaultPlan& faults, const LogFn& log,
             SessionResult& result)
      : SessionRun(link, faults, log, result), opt_(options) {}

  bool Announce() {
    psn_ = opt_.psn;
    if (link_.Shape().pcOpens) return AcceptOpening(kCmdRequest, opt_.identity, opt_.openTimeout);
    for (int attempt = 0; attempt < opt_.tries; ++attempt) {
      if (attempt > 0) ++result_.retries;
      if (!SendCounted(link_, faults_, RequestFrame(psn_, opt_.identity), log_))
        return LineLost("the line failed");
      Frame f;
      switch (Await(kCmdDownReady, opt_.answerTimeout, &f)) {
        case Got::Answer:
          if (!f.payload.empty()) return Fail("CMD_DOWN_READY with a payload");
          return true;
        case Got::Failed:
          return false;
        case Got::Nothing:
          break;
      }
    }
    return Fail("no CMD_DOWN_READY after " + std::to_string(opt_.tries) + " requests");
  }

  // Asks for `length` bytes at `offset` until an answer of that length comes. The first try
  // waits `timeout`, the others the answer time.
  std::optional<std::vector<uint8_t>> Block(size_t length, uint32_t offset,
                                            std::chrono::milliseconds timeout) {
    for (int attempt = 0; attempt < opt_.tries; ++attempt) {
      if (attempt > 0) ++result_.retries;
      Frame req{++psn_, kCmdBlockReq, link_.BlockRequestPayload(length, offset)};
      const bool lost = FaultPlan::Hits(faults_.dropRequest, ++faults_.requestsMade);
      if (lost) {
        if (log_) log_("   (request lost) " + Describe(req));
      } else if (!SendCounted(link_, faults_, req, log_)) {
        LineLost("the line failed");
        return std::nullopt;
      }
      Frame f;
      switch (Await(kCmdBlock, attempt == 0 && !lost ? timeout : opt_.answerTimeout, &f)) {
        case Got::Failed:
          return std::nullopt;
        case Got::Nothing:
          continue;
        case Got::Answer:
          break;
      }
      if (f.payload.size() != length) {
        Fail("block answer of " + std::to_string(f.payload.size()) + " bytes for a request of " +
             std::to_string(length) + " at " + std::to_string(offset));
        return std::nullopt;
      }
      if (FaultPlan::Hits(faults_.drop, ++faults_.blockAnswers)) {
        if (log_) log_("   (answer dropped)");
        continue;
      }
      return f.payload;
    }
    Fail("no answer to a block request of " + std::to_string(length) + " at " +
         std::to_string(offset) + " after " + std::to_string(opt_.tries) + " tries");
    return std::nullopt;
  }

  // A request the PC must leave unanswered: nothing may come within the answer time.
  bool Unanswered(size_t length, uint32_t offset) {
    Frame req{++psn_, kCmdBlockReq, link_.BlockRequestPayload(length, offset)};
    if (!SendCounted(link_, faults_, req, log_)) return LineLost("the line failed");
    Frame f;
    switch (Await(kCmdBlock, opt_.answerTimeout, &f)) {
      case Got::Answer:
        return Fail("the PC answered a request for " + std::to_string(length) + " bytes at " +
                    std::to_string(offset) + ", past the end of the file");
      case Got::Failed:
        return false;
      case Got::Nothing:
        return true;
    }
    return true;
  }

  bool End() {
    Frame end{++psn_, kCmdEnd, {}};
    bool corrupted = false;
    if (!SendCounted(link_, faults_, end, log_, &corrupted)) return LineLost("the line failed");
    // The PC would ignore a damaged end frame; a receiver repeats it.
    if (corrupted && !SendCounted(link_, faults_, end, log_)) return LineLost("the line failed");
    // Nothing may answer CMD_END; a short look catches a PC that does. The reboot request
    // is no answer: the program asks the receiver to restart with what it received.
    Frame f;
    Link::Rx rx = link_.Receive(&f, std::chrono::milliseconds(200));
    const bool reboot = f.cmd == kCmdReboot && f.psn == 0 && f.payload.empty();
    if (rx == Link::Rx::Frame && !reboot) {
      return Fail("the PC sent " + Describe(f) + " after CMD_END");
    }
    if (rx == Link::Rx::BadSum) return Fail("the PC sent a frame with a bad SUM after CMD_END");
    return true;
  }

 private:
  enum class Got { Answer, Nothing, Failed };

  // Waits for `cmd` answering the request with the current PSN. Answers to earlier requests
  // (sent again after a time-out) are counted and skipped.
  Got Await(uint8_t cmd, std::chrono::milliseconds timeout, Frame* out) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return Got::Nothing;
      switch (link_.Receive(out, left)) {
        case Link::Rx::Timeout:
          return Got::Nothing;
        case Link::Rx::Closed:
          LineLost("the line closed");
          return Got::Failed;
        case Link::Rx::BadSum:
          Fail("the PC sent a frame with a bad SUM");
          return Got::Failed;
        case Link::Rx::Frame:
          break;
      }
      if (log_) log_("<- " + Describe(*out));
      if (out->cmd == cmd && out->psn != psn_) {
        ++result_.staleAnswers;
        continue;
      }
      if (out->cmd != cmd) {
        Fail("the PC sent " + Describe(*out) + " where " + CommandName(cmd) + " was due");
        return Got::Failed;
      }
      return Got::Answer;
    }
  }

  const DownloadOptions& opt_;
  uint8_t psn_ = 0;
};

struct Block {
  uint32_t offset;
  size_t length;
};

// Blocks covering `size` bytes, of the given lengths in turn (each at most `max`), in the
// requested order.
std::vector<Block> Blocks(size_t size, const std::vector<size_t>& lengths, size_t max,
                          BlockOrder order, uint32_t seed) {
  std::vector<Block> blocks;
  for (size_t o = 0, k = 0; o < size; ++k) {
    const size_t length =
        std::min({std::clamp<size_t>(lengths[k % lengths.size()], 1, max), size - o});
    blocks.push_back(Block{static_cast<uint32_t>(o), length});
    o += length;
  }
  if (order == BlockOrder::Reverse) std::reverse(blocks.begin(), blocks.end());
  if (order == BlockOrder::Shuffled) {
    std::mt19937 rng(seed);
    std::shuffle(blocks.begin(), blocks.end(), rng);
  }
  return blocks;
}

}  // namespace

SessionResult RunDownload(Link& link, const DownloadOptions& options, FaultPlan& faults,
                          const Images& expected, const ChunkExpander& expand, const LogFn& log) {
  SessionResult result;
  Downloader d(link, options, faults, log, result);
  const std::vector<size_t> lengths =
      options.blockSizes.empty() ? std::vector<size_t>{link.Shape().maxBlock} : options.blockSizes;
  if (!d.Announce()) return result;

  // An early end (on request): CMD_END after so many good block answers, nothing verified.
  int answered = 0;
  auto endsHere = [&] {
    if (faults.endAfter < 0 || answered < faults.endAfter) return false;
    result.ok = d.End();
    if (result.ok) result.summary = "download ended after " + std::to_string(answered) + " blocks";
    return true;
  };
  auto fetch = [&](size_t length, uint32_t offset, std::chrono::milliseconds timeout) {
    auto data = d.Block(length, offset, timeout);
    if (data) ++answered;
    return data;
  };
  if (endsHere()) return result;

  // Learn the size: the stream header, then each chunk's length field.
  auto header = fetch(10, 0, options.prepareTimeout);
  if (!header) return result;
  if (endsHere()) return result;
  const size_t chunks = Get16bit(header->data() + 8);
  if (Get16bit(header->data()) != 8 || chunks == 0 || chunks > kMaxChunks) {
    d.Fail("the file does not start with a stream header");
    return result;
  }
  size_t size = 10;
  for (size_t i = 0; i < chunks; ++i) {
    auto length = fetch(2, static_cast<uint32_t>(size), options.answerTimeout);
    if (!length) return result;
    if (endsHere()) return result;
    size += 2 + Get16bit(length->data());
    if (size > kMaxFileSize) {
      d.Fail("the chunk lengths add up past 16 MB");
      return result;
    }
  }

  // The whole file, in the chosen order; every byte comes from the main pass.
  result.file.assign(size, 0);
  for (const Block& b : Blocks(size, lengths, link.Shape().maxBlock, options.order, options.seed)) {
    auto data = fetch(b.length, b.offset, options.answerTimeout);
    if (!data) return result;
    std::copy(data->begin(), data->end(), result.file.begin() + b.offset);
    if (endsHere()) return result;
  }
  if (faults.beyondEnd) {
    const size_t length = std::min({lengths.front(), link.Shape().maxBlock, size});
    if (!d.Unanswered(length, static_cast<uint32_t>(size - length + 1))) return result;
  }
  if (!d.End()) return result;

  DownloadCheck check = CheckDownloadFile(result.file, options.identity.systemId, expected, expand);
  if (!check.ok) {
    d.Fail("download file of " + std::to_string(size) + " bytes: " + check.reason);
    return result;
  }
  result.ok = true;
  result.summary = "download " + std::to_string(size) + " bytes verified";
  if (check.uncheckedChunks > 0)
    result.summary +=
        ", " + std::to_string(check.uncheckedChunks) + " coded chunks not expanded (no decoder)";
  return result;
}

}  // namespace sim
