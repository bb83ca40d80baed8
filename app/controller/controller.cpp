// The controller's core: construction, the message list, the availability of the function
// commands, the transfer file, message routing, and how the run ends.
#include "controller.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "control_ids.h"
#include "penwick/local_file.hpp"
#include "penwick/message_box.hpp"
#include "transfer_file.h"

namespace app {

struct UploadController::Scratch {
  std::array<uint8_t, codec::kContainerSize> packed{};
  std::array<uint8_t, codec::kRegionSize> region{};
};

namespace {

constexpr int kListRows = 10;  // entries in view at once

int ScrollFor(const std::string& text) {
  int lines = 1;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2))
    ++lines;
  return lines > kListRows ? lines - kListRows : 1;
}

}  // namespace

UploadController::UploadController(View& view, Libraries& libraries, CommandLine line)
    : view_(view),
      libs_(libraries),
      line_(std::move(line)),
      run_(SelectRun(line_.port)),
      state_(std::make_unique<ControllerState>()),
      scratch_(std::make_unique<Scratch>()),
      window_(std::make_unique<PwWindow>(
          [this](const pw::Message& m) { return gate_ ? gate_(m) : Handle(m); })) {}

UploadController::~UploadController() {
  window_->Close();
}

void UploadController::AddMessage(const char* format, ...) {
  char text[512];  // longer entries are cut at 511 characters
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  AddEntry(text, EntryKind::Plain);
}

void UploadController::AddEntry(const char* text, EntryKind kind) {
  state_->messages += "\r\n";
  state_->messages += text;
  view_.AppendMessage(text, kind, state_->messages, ScrollFor(state_->messages));
}

void UploadController::ShowProgress(ProgressKind kind, const char* entryFormat, int percent) {
  if (phase_ == RunPhase::Armed) phase_ = RunPhase::Running;
  view_.SetProgress(percent, kind);
  view_.SetStatusText(ProgressStatusText(kind, percent));
  char text[32];
  std::snprintf(text, sizeof text, entryFormat, percent);
  AddEntry(text, EntryKind::Progress);
}

void UploadController::EnableFunctions(bool enable) {
  if (!enable) {
    view_.EnableControl(kDownLoad, false);
    view_.EnableControl(kUpLoad, false);
  }
  for (int id : {kGetPackedFlashData, kGetEepromData, kUnpackFlash, kPackFlash, kViewModelId,
                 kViewSystemId}) {
    view_.EnableControl(id, enable);
  }
}

void UploadController::PutImages() {
  libs_.PutPackedFlashData(state_->packed.data());
  libs_.PutEepromData(state_->eeprom.data());
}

// Unpacks a copy of the packed image: the unpack rewrites its container, and the packed image
// must stay as it came (it is saved, or packed into a download).
bool UploadController::UnpackCopy() {
  scratch_->packed = state_->packed;
  const bool unpacked =
      libs_.UnPackFlashData(scratch_->packed.data(), state_->unpacked.data()) == 1;
  state_->regionFilled = unpacked;
  return unpacked;
}

bool UploadController::ShowPackedRead(const TransferFileRead& read) {
  if (!read.opened) {
    AddMessage("Packed File Open Error - Code 1 -");
    return false;
  }
  if (read.packedBytes == 0) {
    AddMessage("Packed File Loading Error - Code 2 -");
    return true;
  }
  AddMessage("Packed File Open Success");
  for (int id : {kUnpackFlash, kViewModelId, kViewSystemId}) view_.EnableControl(id, true);
  return true;
}

bool UploadController::LoadTransferFile(std::string* logLine) {
  ControllerState& s = *state_;
  const TransferFileRead read = ReadTransferFile(line_.file, s.packed.data(), s.eeprom.data());
  if (!ShowPackedRead(read)) {
    *logLine = "Cannot open file [" + line_.file + "]";
    if (read.openError == EISDIR) {
      RefuseBadFile("-f names the folder " + line_.file + ", not a transfer file",
                    "name the transfer file itself with -f");
    } else {
      RefuseBadFile(
          "cannot open the transfer file " + line_.file + ": " + std::strerror(read.openError),
          "check the path given with -f");
    }
    return false;
  }
  if (read.packedBytes > 0) {
    AddMessage(read.eepromBytes > 0 ? "Eeprom Data read" : "ERR - Eeprom Data");
  }
  switch (CheckTransferImages(read, s.packed.data(), libs_, scratch_->packed.data(),
                              scratch_->region.data())) {
    case TransferFileProblem::None:
      s.fileLoaded = true;
      return true;
    case TransferFileProblem::Incomplete: {
      const size_t size = read.fileSize >= 0
                              ? static_cast<size_t>(read.fileSize)
                              : codec::kTransferHeaderSize + read.packedBytes + read.eepromBytes;
      *logLine =
          "Transfer file [" + line_.file + "] is incomplete: " + std::to_string(size) + " bytes";
      RefuseBadFile("the transfer file " + line_.file + " is incomplete: it holds " +
                        std::to_string(size) + " bytes; a transfer file holds at least " +
                        std::to_string(codec::kTransferFileSize) +
                        " (a 64-byte header, the packed image and the EEPROM image)",
                    "give the whole transfer file the settings editor wrote");
      return false;
    }
    case TransferFileProblem::SavedByUpload:
      *logLine = "Transfer file [" + line_.file + "] has no header: saved by an upload";
      RefuseBadFile(
          "the transfer file " + line_.file + " holds " +
              std::to_string(codec::kSavedTransferFileSize) +
              " bytes: most likely a file an upload saved, which has no 64-byte header",
          "make a transfer file of it with: penwick-pack transfer " + line_.file + " NEW-FILE");
      return false;
    case TransferFileProblem::Damaged:
      *logLine = "Transfer file [" + line_.file + "] is damaged: its packed image fails its checks";
      RefuseBadFile("the packed image in the transfer file " + line_.file +
                        " failed its checks (damaged, or not a packed image)",
                    "use an intact transfer file");
      return false;
  }
  return false;
}

void UploadController::RefuseBadFile(const std::string& reason, const std::string& advice) {
  state_->fileLoaded = false;
  AddMessage("Nothing is sent: %s", reason.c_str());
  Fail({pw::cli::kExitBadTransferFile, reason, advice});
}

bool UploadController::SaveTransferFile() {
  ControllerState& s = *state_;
  const std::string error = pw::files::ReplaceFile(
      line_.file, {std::span<const uint8_t>(s.packed), std::span<const uint8_t>(s.eeprom)});
  if (error.empty()) return true;
  char text[512];
  std::snprintf(text, sizeof text, "Failed to write file [%s]", line_.file.c_str());
  view_.MessageBox(text, "PenwickUpload", pw::kMbOk | pw::kMbIconWarning);
  AddMessage("Packed File Open Error - Code 1 -");
  AddMessage("%s", error.c_str());
  std::string keepError;
  const std::string kept = KeepReceived(&keepError);
  Finish({pw::cli::kExitSaveFailed,
          "the upload completed but the transfer file was not saved (" + error + "); " +
              (kept.empty() ? "the received images could not be kept either (" + keepError + ")"
                            : "the received images are kept in " + kept),
          kept.empty()
              ? "make room or allow writing there, and run the upload again"
              : "make room or allow writing there, then copy " + kept + " to " + line_.file});
  return false;
}

intptr_t UploadController::Handle(const pw::Message& message) {
  if (message.kind == pw::MessageKind::DeviceChange) return OnDeviceChange(message);
  const int code = static_cast<int>(message.code & 0xFFFF);
  if (OnNotice(code, message.value)) return 1;
  return OnCommand(code) ? 1 : 0;
}

bool UploadController::OnCommand(int code) {
  switch (code) {
    case kCmdOk:
      OnOk();
      return true;
    case kCmdCancel:
      OnCancel();
      return true;
    case kSerialOpen:
      OnSerialOpen();
      return true;
    case kSerialClose:
      OnSerialClose();
      return true;
    case kDownLoad:
      OnHvdown();
      return true;
    case kUpLoad:
      OnHvup();
      return true;
    case kUnpackFlash:
      OnUnpackFlashdata();
      return true;
    case kPackFlash:
      OnPackFlashData();
      return true;
    case kGetPackedFlashData:
      OnGetPackedFlashData();
      return true;
    case kGetEepromData:
      OnGeteepromdata();
      return true;
    case kViewModelId:
      OnViewModelId();
      return true;
    case kViewSystemId:
      OnViewSystemId();
      return true;
    case kFileOpen:
      OnFileOpen();
      return true;
    default:
      return false;
  }
}

}  // namespace app
