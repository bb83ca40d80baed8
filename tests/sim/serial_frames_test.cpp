// The emulated receiver's own serial frame code.
#include <gtest/gtest.h>

#include "receiver/serial_frames.h"

namespace {

using sim::EncodeSerialFrame;
using sim::Frame;
using sim::SerialFrameParser;

std::vector<uint8_t> Bytes(std::initializer_list<int> list) {
  std::vector<uint8_t> out;
  for (int b : list) out.push_back(static_cast<uint8_t>(b));
  return out;
}

TEST(SimSerialFrames, EncodesTheRebootAndBlockRequestFrames) {
  EXPECT_EQ(EncodeSerialFrame(Frame{0, sim::kCmdReboot, {}}),
            Bytes({'H', 'a', 'V', 'o', 0x00, 0x0B, 0x00, 0x0B}));
  // PSN 0xF0 + CMD 4 + LEN 4 + payload 0xFF 0x01 0x02 0x03 = 0x1FD -> 0xFD.
  EXPECT_EQ(EncodeSerialFrame(Frame{0xF0, sim::kCmdBlockReq, Bytes({0xFF, 1, 2, 3})}),
            Bytes({'H', 'a', 'V', 'o', 0xF0, 0x04, 0x04, 0xFF, 1, 2, 3, 0xFD}));
  EXPECT_EQ(EncodeSerialFrame(Frame{0, sim::kCmdReboot, {}}, 1).back(), 0x0C);
}

TEST(SimSerialFrames, LongestFrameRoundTripsFedByteByByte) {
  Frame f{7, sim::kCmdBlock, std::vector<uint8_t>(255)};
  for (size_t i = 0; i < f.payload.size(); ++i) f.payload[i] = static_cast<uint8_t>(i * 7);
  std::vector<uint8_t> wire = EncodeSerialFrame(f);
  ASSERT_EQ(wire.size(), 263u);
  SerialFrameParser parser;
  for (size_t i = 0; i + 1 < wire.size(); ++i) {
    parser.Feed(&wire[i], 1);
    ASSERT_FALSE(parser.Next().has_value()) << "frame complete after " << i + 1 << " bytes";
  }
  parser.Feed(&wire.back(), 1);
  auto r = parser.Next();
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->kind, SerialFrameParser::Kind::Good);
  EXPECT_EQ(r->frame.psn, 7);
  EXPECT_EQ(r->frame.cmd, sim::kCmdBlock);
  EXPECT_EQ(r->frame.payload, f.payload);
  EXPECT_EQ(parser.NoiseBytes(), 0u);
  EXPECT_EQ(parser.Pending(), 0u);
}

TEST(SimSerialFrames, SkipsNoiseAndFalseStartsAndKeepsAPartialMagic) {
  SerialFrameParser parser;
  // "H a X V o" is not a magic to the receiver: it waits for the exact four bytes.
  std::vector<uint8_t> wire = Bytes({0x00, 'H', 'a', 'X', 'V', 'o', 'H', 'H', 'a'});
  parser.Feed(wire.data(), wire.size());
  EXPECT_FALSE(parser.Next().has_value());
  EXPECT_EQ(parser.Pending(), 2u);  // "Ha" may begin a frame
  std::vector<uint8_t> rest = EncodeSerialFrame(Frame{1, sim::kCmdEnd, {}});
  rest.erase(rest.begin(), rest.begin() + 2);  // the "Ha" came already
  parser.Feed(rest.data(), rest.size());
  auto r = parser.Next();
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->kind, SerialFrameParser::Kind::Good);
  EXPECT_EQ(r->frame.cmd, sim::kCmdEnd);
  EXPECT_EQ(parser.NoiseBytes(), 7u);
}

TEST(SimSerialFrames, BadSumIsReportedAndTheNextFrameStillParses) {
  std::vector<uint8_t> wire = EncodeSerialFrame(Frame{3, sim::kCmdSizeReq, Bytes({2})}, 0xFF);
  std::vector<uint8_t> good = EncodeSerialFrame(Frame{4, sim::kCmdSizeReq, Bytes({3})});
  wire.insert(wire.end(), good.begin(), good.end());
  SerialFrameParser parser;
  parser.Feed(wire.data(), wire.size());
  auto bad = parser.Next();
  ASSERT_TRUE(bad.has_value());
  EXPECT_EQ(bad->kind, SerialFrameParser::Kind::BadSum);
  auto next = parser.Next();
  ASSERT_TRUE(next.has_value());
  EXPECT_EQ(next->kind, SerialFrameParser::Kind::Good);
  EXPECT_EQ(next->frame.psn, 4);
  EXPECT_EQ(next->frame.payload, Bytes({3}));
  EXPECT_FALSE(parser.Next().has_value());
}

}  // namespace
