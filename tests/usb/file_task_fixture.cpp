// The file-task fixture and its file helpers.
#include "file_task_fixture.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "library_state.h"
#include "penwick/usb_backend.hpp"

namespace hvusb_test {

void WriteBytes(const std::filesystem::path& path, const Bytes& bytes) {
  ASSERT_TRUE(testsupport::WriteFileBytes(path, bytes)) << path;
}

std::time_t ModifiedAt(const std::filesystem::path& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mtime;
}

void SetModified(const std::filesystem::path& path, std::time_t when) {
  const timespec times[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

std::tm Local(std::time_t when) {
  std::tm tm{};
  localtime_r(&when, &tm);
  return tm;
}

bool OwnerCanWrite(const std::filesystem::path& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) != 0;
}

void FileTaskReceiver::SetUpTestSuite() {
  setenv("TZ", "UTC-5", 1);
  tzset();
}

void FileTaskReceiver::SetUp() {
  pw::usb::SetTimeoutPermille(100);
  InitDevice();
  char pattern[] = "/tmp/penwick-files-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  dir = pattern;
  store = dir / "store";
  std::filesystem::create_directory(store);
}

void FileTaskReceiver::TearDown() {
  // A task still running would post to a window that is gone: end it first.
  if (window && UsbTaskCancel() == 1) {
    DeviceRemoval(nullptr);
    const size_t before = results.size();
    EXPECT_TRUE(PumpUntil([&] { return results.size() > before; }));
  }
  DeviceRemoval(nullptr);
  pw::usb::Driver::Process().Reset({});
  StartPnpNotice(nullptr);  // the driver forgets the window before it goes
  if (window) window->Close();
  pw::usb::SetTimeoutPermille(1000);
  // Whatever a receive task went through, the read time-out is back.
  EXPECT_EQ(hvusb::State().readTimeoutMs.load(), hvusb::kDefaultTimeoutMs);
  std::error_code ec;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir, ec)) {
    chmod(entry.path().c_str(), 0755);  // read-only files go too
  }
  std::filesystem::remove_all(dir, ec);
}

bool FileTaskReceiver::Start(std::vector<std::string> options) {
  options.insert(options.end(), {"--files", store.string(), "--files-log", (dir / "log").string(),
                                 "--files-resend-ms", "2500", "--reboot-delay-ms", "300"});
  sim = std::make_unique<SimProcess>(options);
  if (!sim->ok()) {
    ADD_FAILURE() << "the emulated receiver did not start";
    return false;
  }
  sim->UseAsOnlyReceiver();
  window = std::make_unique<PwWindow>([this](const pw::Message& m) -> intptr_t {
    if (m.kind == pw::MessageKind::DeviceChange) {
      if (m.event == pw::kDeviceArrival && DeviceArrival(m.devicePath.c_str()) == 1) open = true;
      if (m.event == pw::kDeviceRemoveComplete) {
        DeviceRemoval(m.devicePath.c_str());
        open = false;
        ++removals;
      }
    } else if (m.code == kTaskDone) {
      results.push_back(m.value);
      if (onDone) onDone();
    }
    return 0;
  });
  open = StartPnpNotice(window->handle()) == 1;
  EXPECT_TRUE(open);
  return open;
}

bool FileTaskReceiver::PumpUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
  return window->Pump(done, limit);
}

intptr_t FileTaskReceiver::Await(std::chrono::seconds limit) {
  const size_t before = results.size();
  if (!PumpUntil([&] { return results.size() > before; }, limit)) return -1;
  return results[before];
}

std::vector<std::string> FileTaskReceiver::Log() const {
  std::ifstream in(dir / "log");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string FileTaskReceiver::FinishSim() {
  return sim->Finish();
}

bool InOrder(const std::vector<std::string>& lines, const std::vector<std::string>& wanted) {
  size_t next = 0;
  for (const std::string& line : lines) {
    if (next < wanted.size() && line.starts_with(wanted[next])) ++next;
  }
  return next == wanted.size();
}

size_t Count(const std::vector<std::string>& lines, const std::string& prefix) {
  size_t n = 0;
  for (const std::string& line : lines) n += line.starts_with(prefix) ? 1 : 0;
  return n;
}

}  // namespace hvusb_test
