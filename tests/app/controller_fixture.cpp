#include "controller_fixture.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "NorraLink.h"
#include "command_line.h"
#include "penwick/message_box.hpp"
#include "sample_region.h"

namespace apptest {

void RecordingView::AppendMessage(const std::string& entry, app::EntryKind, const std::string&,
                                  int scrollBy) {
  events.push_back("entry " + entry);
  lastScroll = scrollBy;
}
void RecordingView::SetStatusText(const std::string& text) {
  events.push_back("status " + text);
}
void RecordingView::SetProgress(int percent, app::ProgressKind kind) {
  const char* what = kind == app::ProgressKind::Download      ? ""
                     : kind == app::ProgressKind::UploadFlash ? "flash "
                                                              : "eeprom ";
  events.push_back("progress " + std::string(what) + std::to_string(percent));
}
void RecordingView::EnableControl(int id, bool enable) {
  events.push_back("enable " + std::to_string(id) + (enable ? " 1" : " 0"));
  enabled[id] = enable;
}
int RecordingView::MessageBox(const std::string& text, const std::string& caption, unsigned type) {
  events.push_back("box " + caption + "|" + text + "|" + std::to_string(type));
  if (boxAnswers.empty()) return pw::DefaultButton(type);
  const int answer = boxAnswers.front();
  boxAnswers.pop_front();
  return answer;
}
void RecordingView::Move(int x, int y) {
  events.push_back("move " + std::to_string(x) + " " + std::to_string(y));
}
void RecordingView::Close(app::DialogResult result) {
  events.push_back(result == app::DialogResult::Ok ? "close ok" : "close cancel");
}
std::optional<std::string> RecordingView::ChooseFileToOpen(const std::string&, const std::string&) {
  return fileToOpen;
}
std::vector<std::string> RecordingView::Entries() const {
  std::vector<std::string> entries;
  for (const auto& e : events) {
    if (e.rfind("entry ", 0) == 0) entries.push_back(e.substr(6));
  }
  return entries;
}
bool RecordingView::Saw(const std::string& event) const {
  return std::find(events.begin(), events.end(), event) != events.end();
}

int32_t FakeLinks::OpenSerialPort(const std::string& port, int32_t baud, int32_t index) {
  calls.push_back("OpenSerialPort " + port + " " + std::to_string(baud) + " " +
                  std::to_string(index));
  return openResult;
}
int32_t FakeLinks::CloseSerialPort() {
  calls.push_back("CloseSerialPort");
  return -1;
}
int32_t FakeLinks::SerialDown(const std::string& folder, PwHwnd, int32_t code) {
  calls.push_back("SerialDown " + folder + " " + std::to_string(code));
  return sessionResult;
}
int32_t FakeLinks::SerialUp(PwHwnd, int32_t code) {
  calls.push_back("SerialUp " + std::to_string(code));
  return sessionResult;
}
int32_t FakeLinks::AutoReboot() {
  calls.push_back("AutoReboot");
  return rebootResult;
}
int32_t FakeLinks::InitUsbFunc() {
  calls.push_back("InitUsbFunc");
  return initUsbResult;
}
int32_t FakeLinks::UsbDown(const std::string& folder, PwHwnd, int32_t code) {
  calls.push_back("UsbDown " + folder + " " + std::to_string(code));
  return sessionResult;
}
int32_t FakeLinks::UsbUp(PwHwnd, int32_t code) {
  calls.push_back("UsbUp " + std::to_string(code));
  return sessionResult;
}
void FakeLinks::CancelUsbFunc() {
  calls.push_back("CancelUsbFunc");
}
int FakeLinks::InitDevice() {
  calls.push_back("InitDevice");
  return 0;
}
int FakeLinks::StartPnpNotice(PwHwnd) {
  calls.push_back("StartPnpNotice");
  return presentAtStart;
}
int FakeLinks::DeviceArrival(const std::string& path) {
  calls.push_back("DeviceArrival " + path);
  return arrivalResult;
}
int FakeLinks::DeviceRemoval(const std::string& path) {
  calls.push_back("DeviceRemoval " + path);
  return 1;
}
int FakeLinks::GetDeviceVersion(uint32_t* out) {
  *out = version;
  return 1;
}
size_t FakeLinks::Count(const std::string& prefix) const {
  return static_cast<size_t>(std::count_if(
      calls.begin(), calls.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
}

void SetLibraryIdentity(const std::vector<uint8_t>& identity) {
  std::vector<uint8_t> container(codec::kContainerSize, 0), region(codec::kRegionSize);
  std::copy(identity.begin(), identity.end(), container.begin());
  Dll_UnPackFlashData(container.data(), region.data());  // records the identity, then fails
}

std::vector<uint8_t> LibraryIdentity() {
  std::vector<uint8_t> identity(codec::kIdentitySize);
  Dll_GetModelId(identity.data());
  return identity;
}

std::vector<uint8_t> LibraryPacked() {
  std::vector<uint8_t> packed(codec::kContainerSize);
  Dll_GetPackedFlashData(packed.data());
  return packed;
}

Images MakeImages(uint32_t seed, uint16_t systemId) {
  Images images;
  SetLibraryIdentity(samples::MakeIdentity(systemId));
  images.region = samples::MakePackableSampleRegion(seed);
  images.packed.assign(codec::kContainerSize, 0);
  EXPECT_EQ(Dll_PackFlashData(images.region.data(), images.packed.data()), 1);
  images.eeprom = samples::RandomBytes(codec::kEepromSize, seed);
  return images;
}

std::vector<uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> TransferFileBytes(const Images& images) {
  std::vector<uint8_t> bytes(codec::kTransferHeaderSize, 0);
  bytes.insert(bytes.end(), images.packed.begin(), images.packed.end());
  bytes.insert(bytes.end(), images.eeprom.begin(), images.eeprom.end());
  return bytes;
}

void ControllerTest::SetUp() {
  workFolder = std::make_unique<WorkFolder>("pw-app-");
  dir = workFolder->path();
}

void ControllerTest::TearDown() {
  controller.reset();
  workFolder.reset();
}

app::UploadController& ControllerTest::Start(const std::vector<std::string>& args) {
  controller = std::make_unique<app::UploadController>(view, links, app::ParseCommandLine(args));
  controller->Startup();
  return *controller;
}

void ControllerTest::Notice(int code, intptr_t value) {
  pw::Message message;
  message.code = static_cast<uint32_t>(code);
  message.value = value;
  pw::SendMessage(controller->handle(), message);
}

void ControllerTest::DeviceChange(uint32_t event, const std::string& path) {
  pw::Message message;
  message.kind = pw::MessageKind::DeviceChange;
  message.event = event;
  message.devicePath = path;
  pw::SendMessage(controller->handle(), message);
}

std::string ControllerTest::Log() const {
  const auto bytes = ReadAll(std::filesystem::current_path() / "Upload.Log");
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace apptest
