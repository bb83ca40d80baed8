// The USB sessions' checks of what a receiver sends, apart from any device: the answer to an
// opening, a received frame, an upload's block answer; and a download worker whose download
// file cannot be opened.
#include <gtest/gtest.h>

#include <numeric>

#include "PenwickHelpers.h"
#include "frames.h"
#include "notifications.h"
#include "session_state.h"
#include "usb_frames.h"
#include "usb_opening.h"
#include "usb_session.h"
#include "usb_upload.h"
#include "window_notes.h"

namespace {

using Bytes = std::vector<uint8_t>;

// "HaVo", PSN, CMD, LEN, payload, SUM (natural order, as after the swap back).
Bytes Frame(uint8_t cmd, const Bytes& payload, size_t len) {
  Bytes f = {'H', 'a', 'V', 'o', 0, cmd, 0, 0};
  Put16bit(f.data() + 6, static_cast<uint16_t>(len));
  f.insert(f.end(), payload.begin(), payload.end());
  f.push_back(transfer::FrameSum(f.data() + 4, f.size() - 4));
  return f;
}

std::optional<transfer::OpeningAnswer> Check(const Bytes& received) {
  return transfer::CheckOpeningAnswer(received.data(), static_cast<uint32_t>(received.size()));
}

TEST(UsbAnswers, AnOpeningAnswerNeedsItsIdentityInTheBytesReceived) {
  Bytes identity(34);
  std::iota(identity.begin(), identity.end(), uint8_t{1});
  Bytes answer = Frame(transfer::CMD_DOWN_READY, identity, 34);
  Bytes padded = answer;
  padded.insert(padded.end(), {0, 0, 0});  // padding past LEN + 9 is allowed
  const auto opened = Check(padded);
  ASSERT_TRUE(opened);
  EXPECT_EQ(opened->systemId, 0x0102);
  EXPECT_EQ(opened->identity[31], 34);
  // One byte short of LEN + 9: refused, nothing read past the count.
  const Bytes cut(answer.begin(), answer.end() - 1);
  EXPECT_FALSE(Check(cut));
  // A well-formed frame too short for an identity, another command, a damaged SUM.
  const Bytes small = Frame(transfer::CMD_DOWN_READY, Bytes(33), 33);
  EXPECT_FALSE(Check(small));
  const Bytes size = Frame(transfer::CMD_SIZE, identity, 34);
  EXPECT_FALSE(Check(size));
  answer.back() ^= 1;
  EXPECT_FALSE(Check(answer));
}

TEST(UsbAnswers, FramesAndBlockAnswers) {
  Bytes frame(transfer::kUsbFrameBuffer);
  const Bytes block = Frame(transfer::CMD_BLOCK, Bytes(8, 0x42), 8);
  ASSERT_EQ(transfer::ParseUsbFrame(block.data(), 17, frame.data()), transfer::kRxFrame);
  EXPECT_EQ(transfer::JudgeBlockAnswer(transfer::kRxFrame, frame.data(), 8),
            transfer::BlockAnswer::Stored);
  EXPECT_EQ(transfer::JudgeBlockAnswer(transfer::kRxFrame, frame.data(), 7),  // longer: stored
            transfer::BlockAnswer::Stored);
  EXPECT_EQ(transfer::JudgeBlockAnswer(transfer::kRxFrame, frame.data(), 9),  // short: a failure
            transfer::BlockAnswer::FailedRead);
  // Fewer than 9 bytes (count - 4 would go negative for 1 to 3), a count that disagrees with
  // LEN, a bad SUM.
  for (uint32_t count : {0u, 1u, 3u, 8u, 16u, 18u})
    EXPECT_EQ(transfer::ParseUsbFrame(block.data(), count, frame.data()), transfer::kRxNone);
  Bytes damaged = block;
  damaged.back() ^= 1;
  EXPECT_EQ(transfer::ParseUsbFrame(damaged.data(), 17, frame.data()), transfer::kRxBadSum);
  const Bytes wrong = Frame(transfer::CMD_BLOCK_REQ, Bytes(8), 8);
  ASSERT_EQ(transfer::ParseUsbFrame(wrong.data(), 17, frame.data()), transfer::kRxFrame);
  EXPECT_EQ(transfer::JudgeBlockAnswer(transfer::kRxFrame, frame.data(), 8),
            transfer::BlockAnswer::WrongCommand);
}

TEST(UsbDownloadWorker, ADownloadFileThatCannotBeOpenedEndsTheSessionAndFreesIt) {
  testpeer::Notes notes;
  transfer::RecordOwner(notes.handle(), 4013);
  const uint32_t token = transfer::Session().Acquire(transfer::Link::Usb);
  ASSERT_NE(token, 0u);
  transfer::Session().usbWorker.store(1);
  transfer::Session().SetDownloadFilePath("/nonexistent-folder/~tmpDown.hvd");
  transfer::UsbDownloadWorker(transfer::UsbSession(token));  // notices are handled at once here
  EXPECT_EQ(notes.seen(), (std::vector<testpeer::Note>{{17, 0}, {4013, 260}}));
  EXPECT_FALSE(transfer::Session().Busy());
  EXPECT_EQ(transfer::Session().usbWorker.load(), 0);
  transfer::RecordOwner(nullptr, 0);
}

}  // namespace
