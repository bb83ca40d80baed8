// The file tasks over the scripted fake driver, for answers no sound receiver gives: failed
// writes and reads, missing and malformed answers, data the local file cannot take, names
// that do not fit.
#include <filesystem>

#include "fake_receiver.h"
#include "file_bytes.h"
#include "penwick/window.hpp"
#include "temp_folder.h"

namespace hvusb_test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using pw::usb::FakeBackend;

constexpr uint32_t kOk = 2, kCancel = 3, kRequest = 0x1008, kInfo = 0x1009, kData = 0x100A,
                   kEnd = 0x100B, kFail = 1;

Bytes Packet(uint32_t command, const Bytes& payload = {}) {
  Bytes p(8);
  p.insert(p.end(), payload.begin(), payload.end());
  Put16bit(p.data(), static_cast<uint16_t>(p.size()));
  Put32bit(p.data() + 4, command);
  Put16bit(p.data() + 2, GetCrc16(p.data() + 4, static_cast<uint32_t>(p.size() - 4)));
  return p;
}

Bytes Info(uint64_t size) {
  Bytes info(114, 0);
  info[5] = 2;
  for (int i = 0; i < 8; ++i) info[6 + i] = static_cast<uint8_t>(size >> (56 - 8 * i));
  info[110] = 0x80;
  return info;
}

Bytes Data(uint64_t offset, const Bytes& data) {
  Bytes payload(8);
  for (int i = 0; i < 8; ++i) payload[i] = static_cast<uint8_t>(offset >> (56 - 8 * i));
  payload.insert(payload.end(), data.begin(), data.end());
  return payload;
}

class FakeFileTask : public FakeReceiver {
 protected:
  void SetUp() override {
    FakeReceiver::SetUp();
    ASSERT_EQ(AttachReceiver(64, 0x0200), 1);
    dir = testsupport::MakeTempFolder("penwick-fake-files-");
    ASSERT_FALSE(dir.empty());
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
    FakeReceiver::TearDown();
  }

  void Answer(uint32_t command, const Bytes& payload = {}) {
    ScriptReply(Packet(command, payload));
  }

  // Starts a task with `start` and waits for its end: its value, -1 when none came, -2 when
  // the call refused.
  intptr_t Run(const std::function<int(PwHwnd)>& start) {
    intptr_t result = -1;
    PwWindow window([&](const pw::Message& m) -> intptr_t {
      if (m.code == 7) result = m.value;
      return 0;
    });
    if (start(window.handle()) != 1) return -2;
    window.Pump([&] { return result != -1; }, std::chrono::seconds(30));
    return result;
  }
  // The library takes paths as UTF-8, on Windows too (the programs' code page).
  static std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
  }
  intptr_t Send(const fs::path& local) {
    return Run([&](PwHwnd w) { return UsbTaskFileSend("remote", Utf8(local).c_str(), w, 7); });
  }
  intptr_t Receive(const fs::path& local) {
    return Run([&](PwHwnd w) { return UsbTaskFileReceive(Utf8(local).c_str(), "remote", w, 7); });
  }
  // Commands of the OUT transfers from the `from`-th on, and the last one's payload.
  std::vector<uint32_t> Commands(size_t from = 0) const {
    std::vector<uint32_t> commands;
    const auto written = fake->Written(kPath, kOutEp);
    for (size_t i = from; i < written.size(); ++i) commands.push_back(Get32bit(&written[i][4]));
    return commands;
  }
  Bytes LastPayload(size_t length) const {
    const auto written = fake->Written(kPath, kOutEp);
    return Bytes(written.back().begin() + 8, written.back().begin() + 8 + length);
  }

  fs::path dir;
};

TEST_F(FakeFileTask, SendEndsOnABlockThatCannotBeSentOrReadAndOnTheReceiversCancel) {
  const fs::path local = dir / "file";
  testsupport::WriteFileBytes(local, Bytes(100000, 0x42));
  // The request and the information go as one and two 64-byte packets; the block fails.
  FakeBackend::Reply request, information, refused;
  request.data.resize(64);
  information.data.resize(128);
  refused.status = pw::usb::Status::IoError;
  for (const auto& reply : {request, information, refused}) {
    fake->ScriptWrite(kPath, kOutEp, reply);
  }
  Answer(kOk);  // request
  Answer(kOk);  // information
  Answer(kOk);  // the cancel
  EXPECT_EQ(Send(local), 0);
  EXPECT_EQ(Commands(), (std::vector<uint32_t>{kRequest, kInfo, kData, kCancel}));

  // PKT_CANCEL where an acknowledgement is due: the send fails with nothing sent back.
  Answer(kCancel);
  EXPECT_EQ(Send(local), 0);
  EXPECT_EQ(Commands(4), (std::vector<uint32_t>{kRequest}));

  // A file that opens, but reading it fails at once (where the system has one).
  if (const auto unreadable = testsupport::FileThatCannotBeRead()) {
    Answer(kOk);
    Answer(kOk);
    Answer(kOk);
    EXPECT_EQ(Send(*unreadable), 0);
    EXPECT_EQ(Commands(5), (std::vector<uint32_t>{kRequest, kInfo, kCancel}));
  }
}

TEST_F(FakeFileTask, MissingAndMalformedAnswersToAReceive) {
  const fs::path local = dir / "keep";
  testsupport::WriteFileBytes(local, {9, 9});
  const auto before = fs::last_write_time(local);
  // No answer at all: failure, PKT_FAIL 5, and the local file is as it was.
  EXPECT_EQ(Receive(local), 0);
  EXPECT_EQ(Commands(), (std::vector<uint32_t>{kRequest, kFail}));
  EXPECT_EQ(LastPayload(4), (Bytes{5, 0, 0, 0}));
  EXPECT_EQ(testsupport::ReadFileBytes(local), (Bytes{9, 9}));
  EXPECT_EQ(fs::last_write_time(local), before);

  // A PKT_FAIL too short to hold a reason fails the task (host reason 3: not the information).
  Answer(kFail, {0, 0});
  EXPECT_EQ(Receive(local), 0);
  EXPECT_EQ(LastPayload(4), (Bytes{3, 0, 0, 0}));

  // Data at an offset the file cannot be moved to: PKT_FAIL 10.
  Answer(kInfo, Info(10));
  Answer(kData, Data(1ULL << 63, {1, 2, 3, 4}));
  EXPECT_EQ(Receive(dir / "new"), 0);
  EXPECT_EQ(Commands(4), (std::vector<uint32_t>{kRequest, kOk, kFail}));
  EXPECT_EQ(LastPayload(4), (Bytes{10, 0, 0, 0}));

  // PKT_FAIL with reason 0 instead of the file information: nothing came, so it fails and
  // no file is made.
  Answer(kFail, {0, 0, 0, 0});
  EXPECT_EQ(Receive(dir / "none"), 0);
  EXPECT_EQ(Commands(7), (std::vector<uint32_t>{kRequest, kFail}));
  EXPECT_EQ(LastPayload(4), (Bytes{3, 0, 0, 0}));
  EXPECT_FALSE(fs::exists(dir / "none"));

  // Reason 0 mid-transfer ends well only once the announced size is there; a failure keeps
  // the partial file undated (the receiver's date 0 would make it 1 January 2003).
  Answer(kInfo, Info(10));
  Answer(kData, Data(0, {1, 2, 3, 4}));
  Answer(kFail, {0, 0, 0, 0});
  EXPECT_EQ(Receive(dir / "part"), 0);
  EXPECT_GT(fs::last_write_time(dir / "part"), fs::file_time_type::clock::now() - 1h);
  Answer(kInfo, Info(4));
  Answer(kData, Data(0, {1, 2, 3, 4}));
  Answer(kFail, {0, 0, 0, 0});
  EXPECT_EQ(Receive(dir / "whole"), 1);
  EXPECT_EQ(testsupport::ReadFileBytes(dir / "whole"), (Bytes{1, 2, 3, 4}));
  EXPECT_LT(fs::last_write_time(dir / "whole"), fs::file_time_type::clock::now() - 24h * 365);

  // A refused resume leaves the local file's content and times alone.
  Answer(kFail, {0, 0, 0, 2});
  EXPECT_EQ(Run([&](PwHwnd w) {
              return UsbTaskFileReceivePosi(local.string().c_str(), "remote", w, 7, 0, 1);
            }),
            0);
  EXPECT_EQ(testsupport::ReadFileBytes(local), (Bytes{9, 9}));
  EXPECT_EQ(fs::last_write_time(local), before);
}

TEST_F(FakeFileTask, PrintableFallbackOnlyForTheFilesOwnNameAndNeverOverAFile) {
  // The file's name is taken by a folder, so it cannot be created; its printable form can (each
  // byte of the UTF-8 "é" becomes "_"), in the folder of the non-ASCII name it has.
  const fs::path folder = dir / fs::path(u8"d\u00e9");
  const fs::path taken = folder / fs::path(u8"caf\u00e9");
  fs::create_directories(taken);
  const auto serve = [&] {
    Answer(kInfo, Info(3));
    Answer(kData, Data(0, {1, 2, 3}));
    Answer(kEnd);
  };
  serve();
  EXPECT_EQ(Receive(taken), 1);
  EXPECT_EQ(testsupport::ReadFileBytes(folder / "caf__"), (Bytes{1, 2, 3}));
  EXPECT_TRUE(fs::is_directory(taken));

  // Now a file has that name: it stays as it is and the task fails.
  testsupport::WriteFileBytes(folder / "caf__", {7});
  Answer(kInfo, Info(3));
  EXPECT_EQ(Receive(taken), 0);
  EXPECT_EQ(testsupport::ReadFileBytes(folder / "caf__"), (Bytes{7}));
  EXPECT_EQ(LastPayload(4), (Bytes{10, 0, 0, 0}));
}

TEST_F(FakeFileTask, NamesThatDoNotFitAreRefused) {
  const fs::path local = dir / "file";
  testsupport::WriteFileBytes(local, {1});
  // A send request carries the name and its zero: 65,523 characters fill it to 65,535 bytes.
  const std::string tooLong(65524, 'r');
  EXPECT_EQ(UsbTaskFileSend(tooLong.c_str(), local.string().c_str(), nullptr, 7), 0);
  EXPECT_EQ(UsbTaskFileReceive(std::string(65536, 'l').c_str(), "r", nullptr, 7), 0);
  EXPECT_EQ(UsbTaskCancel(), 0);  // nothing was started
  EXPECT_TRUE(fake->Written(kPath, kOutEp).empty());

  const std::string longest(65523, 'r');
  EXPECT_EQ(
      Run([&](PwHwnd w) { return UsbTaskFileSend(longest.c_str(), local.string().c_str(), w, 7); }),
      0);  // no receiver answers here
  const auto written = fake->Written(kPath, kOutEp);
  ASSERT_FALSE(written.empty());
  EXPECT_EQ(Get16bit(written[0].data()), 65535);
  EXPECT_EQ(written[0].size(), 65536u);
}

}  // namespace
}  // namespace hvusb_test
