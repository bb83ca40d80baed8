// The receiver's side of an upload: size queries and block requests, checked and served.
#include "upload_session.h"

#include <PenwickHelpers.h>

#include <algorithm>

namespace sim {
namespace {

struct Stage {
  uint8_t type;
  const std::vector<uint8_t>* image;
  uint32_t size;       // announced
  bool sized = false;  // the size was answered
  uint32_t done = 0;   // bytes served with a good answer
};

class Uploader : public SessionRun {
 public:
  Uploader(Link& link, const UploadOptions& options, FaultPlan& faults, const Images& served,
           const LogFn& log, SessionResult& result)
      : SessionRun(link, faults, log, result),
        opt_(options),
        stages_{Stage{kTypeFlash, &served.packed, options.flashSize},
                Stage{kTypeEeprom, &served.eeprom, options.eepromSize}} {}

  bool Announce() {
    if (link_.Shape().pcOpens) return AcceptOpening(kCmdUpReady, opt_.identity, opt_.openTimeout);
    for (int attempt = 0; attempt < opt_.tries; ++attempt) {
      if (attempt > 0) ++result_.retries;
      if (!SendCounted(link_, faults_, RequestFrame(opt_.psn, opt_.identity), log_))
        return LineLost("the line failed");
      Frame f;
      Link::Rx rx = link_.Receive(&f, opt_.answerTimeout);
      if (rx == Link::Rx::Timeout) continue;
      if (rx != Link::Rx::Frame) return Bad(rx);
      if (log_) log_("<- " + Describe(f));
      if (f.cmd == kCmdDownReady) return Fail("the PC answered with CMD_DOWN_READY (a download)");
      if (f.cmd != kCmdUpReady || f.psn != opt_.psn || !f.payload.empty())
        return Fail("the PC answered the request with " + Describe(f));
      psn_ = opt_.psn;
      psnKnown_ = true;
      return true;
    }
    return Fail("no CMD_UP_READY after " + std::to_string(opt_.tries) + " requests");
  }

  // Serves the PC until CMD_END; true when everything was fetched.
  bool Serve() {
    for (;;) {
      Frame f;
      Link::Rx rx = link_.Receive(&f, opt_.idleTimeout);
      if (rx != Link::Rx::Frame) return Bad(rx);
      if (log_) log_("<- " + Describe(f));
      // Over USB the PC counts its frames from a counter of its own: its first frame sets it.
      const uint8_t want = psnKnown_ ? static_cast<uint8_t>(psn_ + 1) : f.psn;
      if (f.psn != want)
        return Fail(Describe(f) + " where PSN " + std::to_string(want) + " was due");
      psnKnown_ = true;
      psn_ = f.psn;
      switch (f.cmd) {
        case kCmdSizeReq:
          if (!SizeQuery(f)) return false;
          break;
        case kCmdBlockReq:
          if (!BlockRequest(f)) return false;
          break;
        case kCmdEnd:
          return Finish(f);
        default:
          return Fail("the PC sent " + Describe(f) + " during an upload");
      }
    }
  }

 private:
  bool Bad(Link::Rx rx) {
    if (rx == Link::Rx::Timeout) return Fail("the PC went silent after " + Progress());
    if (rx == Link::Rx::BadSum) return Fail("the PC sent a frame with a bad SUM");
    return LineLost("the line closed");
  }

  std::string Progress() const {
    return std::to_string(stages_[0].done + stages_[1].done) + " of " +
           std::to_string(stages_[0].size + stages_[1].size) + " bytes";
  }

  Stage* Current() {
    if (stages_[0].done < stages_[0].size || !stages_[0].sized) return &stages_[0];
    return &stages_[1];
  }

  bool SizeQuery(const Frame& f) {
    if (f.payload.size() != 1)
      return Fail("CMD_SIZE_REQ with " + std::to_string(f.payload.size()) + " payload bytes");
    Stage* stage = Current();
    if (f.payload[0] != stage->type)
      return Fail("size query for type " + std::to_string(f.payload[0]) + " where type " +
                  std::to_string(stage->type) + " was due");
    if (stage->done != 0)
      return Fail("size query again in the middle of type " + std::to_string(stage->type));
    stage->sized = true;
    std::vector<uint8_t> size(3);
    Put24bit(size.data(), stage->size);
    return Answer(Frame{f.psn, kCmdSize, size}, false);
  }

  bool BlockRequest(const Frame& f) {
    size_t length = 0;
    uint32_t offset = 0;
    if (!link_.ParseBlockRequest(f.payload, &length, &offset))
      return Fail("malformed block request of " + std::to_string(f.payload.size()) + " bytes");
    Stage* stage = Current();
    if (!stage->sized)
      return Fail("block request before the size query of type " + std::to_string(stage->type));
    const std::string what = "block request for " + std::to_string(length) + " bytes at " +
                             std::to_string(offset) + " of type " + std::to_string(stage->type);
    if (offset + length > stage->size) return Fail(what + ": past the end");
    if (offset != stage->done)
      return Fail(what + ": the next byte due is " + std::to_string(stage->done));
    const size_t due = std::min<size_t>(link_.Shape().uploadBlock, stage->size - stage->done);
    if (length != due) return Fail(what + ": " + std::to_string(due) + " bytes were due");
    std::vector<uint8_t> data(length, 0xFF);
    const std::vector<uint8_t>& image = *stage->image;
    for (size_t k = 0; k < length && offset + k < image.size(); ++k) data[k] = image[offset + k];
    const int n = ++faults_.blockAnswers;
    const bool shortened = FaultPlan::Hits(faults_.shortBlock, n);
    if (shortened) data.pop_back();
    // A longer answer is stored by a PC that takes what it asked for; another one refuses it.
    const bool lengthened = FaultPlan::Hits(faults_.longBlock, n);
    if (lengthened) data.insert(data.end(), 3, 0xEE);
    const bool refused = shortened || (lengthened && !link_.Shape().pcTakesLooseBlockAnswers);
    return Answer(Frame{f.psn, kCmdBlock, data}, refused, static_cast<uint32_t>(length));
  }

  // Sends an answer with the fault plan applied; an answer the PC takes advances the stage by
  // `advance` bytes.
  bool Answer(Frame answer, bool refused, uint32_t advance = 0) {
    const int n = ++faults_.answersSent;
    if (FaultPlan::Hits(faults_.stalePsn, n)) {
      answer.psn = static_cast<uint8_t>(answer.psn - 1);
      // A PC that checks PSNs refuses it; over USB a block answer's PSN goes unchecked.
      if (answer.cmd != kCmdBlock || !link_.Shape().pcTakesLooseBlockAnswers) refused = true;
    }
    if (FaultPlan::Hits(faults_.drop, n)) {
      if (log_) log_("   (answer dropped) " + Describe(answer));
      return true;
    }
    bool spoiled = false;
    if (!SendCounted(link_, faults_, answer, log_, &spoiled)) return LineLost("the line failed");
    if (refused || spoiled) return true;
    if (answer.cmd == kCmdBlock) Current()->done += advance;
    return true;
  }

  bool Finish(const Frame& f) {
    if (!f.payload.empty()) return Fail("CMD_END with a payload");
    if (stages_[1].done != stages_[1].size || stages_[0].done != stages_[0].size)
      return Fail("CMD_END after " + Progress());
    return true;
  }

  const UploadOptions& opt_;
  Stage stages_[2];
  uint8_t psn_ = 0;
  bool psnKnown_ = false;
};

}  // namespace

SessionResult RunUpload(Link& link, const UploadOptions& options, FaultPlan& faults,
                        const Images& served, const LogFn& log) {
  SessionResult result;
  Uploader u(link, options, faults, served, log, result);
  if (!u.Announce() || !u.Serve()) return result;
  result.ok = true;
  result.summary =
      "upload " + std::to_string(options.flashSize + options.eepromSize) + " bytes served";
  return result;
}

}  // namespace sim
