// The file tasks when things go wrong on the way: a cancel from either side, a lost
// acknowledgement, damaged CRCs in both directions.
#include "file_task_fixture.h"

namespace hvusb_test {
namespace {

namespace fs = std::filesystem;

TEST_F(FileTaskReceiver, CancelMidFileExchangesPktCancel) {
  // The receiver's packets: 1-4 for the first transfer (three acknowledgements and the one of
  // the cancel), 5-7 for the second (information, first block, acknowledgement of the cancel);
  // packet 10, the third transfer's second block, becomes the receiver's cancel.
  ASSERT_TRUE(Start({"--bcd-device", "0200", "--max-packet", "512", "--files-fault", "cancel@10"}));
  const Bytes content = RandomBytes(1 << 20, 6);
  const fs::path local = dir / "local.bin";
  WriteBytes(local, content);
  WriteBytes(store / "served.bin", content);

  // A cancel right after the start is seen after the first acknowledged block.
  ASSERT_EQ(UsbTaskFileSend("sent.bin", local.c_str(), window->handle(), kTaskDone), 1);
  EXPECT_EQ(UsbTaskCancel(), 1);
  EXPECT_EQ(Await(), 0);
  const fs::path got = dir / "got.bin";
  ASSERT_EQ(UsbTaskFileReceive(got.c_str(), "served.bin", window->handle(), kTaskDone), 1);
  EXPECT_EQ(UsbTaskCancel(), 1);
  EXPECT_EQ(Await(), 0);
  EXPECT_EQ(ReadBytes(got), Bytes(content.begin(), content.begin() + 65024));  // kept

  // The receiver cancels: the host acknowledges and fails.
  ASSERT_EQ(
      UsbTaskFileReceive((dir / "again.bin").c_str(), "served.bin", window->handle(), kTaskDone),
      1);
  EXPECT_EQ(Await(), 0);

  EXPECT_EQ(FinishSim(),
            "SIM OK files: 0 stored, 0 served; host cancelled; host cancelled; fault cancel@10");
  const auto log = Log();
  EXPECT_TRUE(
      InOrder(log, {"<- DATA offset=0 length=65024", "-> OK", "<- CANCEL", "-> OK",
                    "-> DATA offset=0 length=65024", "<- CANCEL", "-> OK", "-> DATA offset=0",
                    "-> CANCEL instead of DATA offset=65024", "<- OK"}));
  EXPECT_EQ(Count(log, "<- DATA"), 1u);
  EXPECT_EQ(Count(log, "<- END"), 0u);
}

TEST_F(FileTaskReceiver, LostAcknowledgementAndDamagedCrcs) {
  // Packets 1-6: a send whose first block acknowledgement is lost. 7-10: a send whose first
  // two block acknowledgements are damaged. 11-12: a receive whose first block is damaged.
  ASSERT_TRUE(
      Start({"--bcd-device", "0200", "--max-packet", "512", "--files-fault", "drop@3",
             "--files-fault", "crc@9", "--files-fault", "crc@10", "--files-fault", "crc@12"}));
  const Bytes content = RandomBytes(2 * 65024 + 5, 7);
  const fs::path local = dir / "local.bin";
  WriteBytes(local, content);

  // The host drains, goes on with the next block and finishes the exchange, but reports
  // failure: one block was never confirmed. The receiver has it all the same.
  ASSERT_EQ(UsbTaskFileSend("a.bin", local.c_str(), window->handle(), kTaskDone), 1);
  EXPECT_EQ(Await(), 0);
  EXPECT_EQ(ReadBytes(store / "a.bin"), content);

  // Two damaged answers in a row: PKT_FAIL with reason 1.
  ASSERT_EQ(UsbTaskFileSend("b.bin", local.c_str(), window->handle(), kTaskDone), 1);
  EXPECT_EQ(Await(), 0);

  // A damaged block: the host drains, and takes the receiver's repetition after it.
  const fs::path got = dir / "got.bin";
  ASSERT_EQ(UsbTaskFileReceive(got.c_str(), "a.bin", window->handle(), kTaskDone), 1);
  EXPECT_EQ(Await(), 1);
  EXPECT_EQ(ReadBytes(got), content);

  EXPECT_TRUE(InOrder(
      Log(), {"<- DATA offset=0 length=65024", "-> OK (lost)", "<- DATA offset=65024 length=65024",
              "-> OK", "<- DATA offset=130048", "-> OK", "<- END", "stored \"a.bin\"",
              "<- REQUEST send \"b.bin\"", "<- DATA offset=0", "-> OK (CRC damaged)",
              "<- DATA offset=65024", "-> OK (CRC damaged)", "<- FAIL reason=1", "-> INFO",
              "-> DATA offset=0 length=65024 (CRC damaged)", "-> the last packet again", "<- OK",
              "-> DATA offset=65024"}));
}

}  // namespace
}  // namespace hvusb_test
