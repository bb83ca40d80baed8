// The codec's hooks are installed by the library when its state is first created, whatever
// the link order. This executable holds this one test, so it runs in a fresh process: the first
// exports it calls that reach the codec must already deliver the codec's notice (a download
// file that cannot be created) and its notification (19, an identity that fails its check).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "penwick/message_box.hpp"
#include "sample_region.h"
#include "serial_fixture.h"

using namespace std::chrono_literals;

namespace {

constexpr uint8_t kRequest = 1;
constexpr uint32_t kDone = 4003;

class CodecHooks : public testpeer::SerialTest {};

TEST_F(CodecHooks, FirstExportsThatReachTheCodecDeliverItsNoticeAndNotification) {
  std::vector<pw::MessageBoxRequest> boxes;
  pw::SetMessageBoxHandler([&](const pw::MessageBoxRequest& box) {
    boxes.push_back(box);
    return pw::kIdOk;
  });
  const auto missing = std::filesystem::temp_directory_path() / "pw-hooks-missing" / "folder";
  ASSERT_EQ(Dll_SerialDown(missing.c_str(), notes.handle(), kDone), 1);
  RunPeer(kDone, [&] {
    peer.SendFrame(1, kRequest, testpeer::RequestPayload(0x1234, samples::MakeIdentity(0x1234)));
    peer.ReadFrame();
  });
  pw::SetMessageBoxHandler(nullptr);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Notice");
  EXPECT_NE(boxes[0].text.find("Creating error"), std::string::npos);

  std::vector<uint8_t> container(131072, 0);
  container[3] = 1;  // the identity's check byte does not match its bytes
  std::vector<uint8_t> region(393216);
  EXPECT_EQ(Dll_UnPackFlashData(container.data(), region.data()), 0);
  EXPECT_TRUE(notes.Has(19));
}

}  // namespace
