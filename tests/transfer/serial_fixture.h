// Shared set-up of the serial session tests: a pseudo-terminal peer whose slave the library
// opens, a window pumped on the test thread that records every notification, and a tear-down
// that closes the port and waits (bounded) until the session's worker has ended.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "NorraLink.h"
#include "notifications.h"
#include "pty_peer.h"
#include "serial_session.h"
#include "session_state.h"
#include "window_notes.h"

namespace testpeer {

class SerialTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Generous: sanitizers on a loaded machine are slow, and only a fault waits this out.
    transfer::SetAnswerWait(std::chrono::seconds(10));
    ASSERT_EQ(Dll_OpenSerialPort(peer.SlavePath().c_str(), 115200, 0), 1);
  }
  void TearDown() override {
    Dll_CloseSerialPort();
    EXPECT_TRUE(notes.PumpUntil([] { return transfer::LiveSerialWorkers() == 0; },
                                std::chrono::seconds(30)));
    transfer::RecordOwner(nullptr, 0);
  }
  // Runs `script` (the receiver's side) on a thread of its own while the test thread pumps
  // the window until the completion code arrives; then joins the script.
  template <typename Script>
  void RunPeer(uint32_t completion, Script script) {
    std::thread receiver(std::move(script));
    EXPECT_TRUE(notes.WaitFor(completion));
    receiver.join();
  }

  PtyPeer peer;
  Notes notes;
};

}  // namespace testpeer
