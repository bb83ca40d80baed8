// The exported task calls: start a send or receive worker, read its progress, cancel it.
#include <cstring>
#include <optional>
#include <string>

#include "HvUsb.h"
#include "command_packet.h"
#include "file_payloads.h"
#include "file_task.h"
#include "library_state.h"
#include "penwick/detached_thread.hpp"
#include "penwick/window.hpp"
#include "task_outcome.h"

namespace hvusb {
namespace {

constexpr size_t kNameBuffer = 65536;  // a name and its terminating zero
constexpr uint32_t kFirstPosiVersion = 0x0101;

enum class Kind { Send, Receive };

// Runs the task and reports its end. The start position is cleared before the busy flag, so
// a Posi task started by the completion handler keeps its own; the outcome is complete before
// the message goes.
void Worker(Kind kind, const std::string& first, const std::string& second, PwHwnd window,
            uint32_t command) {
  ResetOutcome();
  const bool ok = kind == Kind::Send ? RunSend(first, second) : RunReceive(first, second);
  EndOutcome(ok);
  Tasks().startPosition.store(0);
  Tasks().checkedResume.store(false);
  Tasks().busy.store(false);
  pw::Message message;
  message.kind = pw::MessageKind::Command;
  message.code = command;
  message.value = ok ? 1 : 0;
  pw::PostMessage(window, std::move(message));
}

// Length of a name that fits its buffer, or nothing.
std::optional<size_t> NameLength(const char* name) {
  if (name == nullptr || *name == '\0') return std::nullopt;
  const size_t length = strnlen(name, kNameBuffer);
  if (length >= kNameBuffer) return std::nullopt;
  return length;
}

// `first` is the destination, `second` the source. Returns 1 when the worker was started; a
// refused call changes nothing.
int Start(Kind kind, const char* first, const char* second, PwHwnd window, uint32_t command,
          bool posi, uint64_t position, bool checked = false) {
  if (posi) {
    uint32_t version = 0;
    if (GetDeviceVersion(&version) == 0 || version < kFirstPosiVersion) return 0;
  }
  LibraryState& s = State();
  const auto firstLength = NameLength(first);
  const auto secondLength = NameLength(second);
  if (!s.deviceOpen.load() || !firstLength || !secondLength) return 0;
  const size_t remoteLength = kind == Kind::Send ? *firstLength : *secondLength;
  if (RequestLength(kind == Kind::Receive, remoteLength, position != 0) > kMaxPayload) return 0;

  TaskState& task = Tasks();
  bool idle = false;
  if (!task.busy.compare_exchange_strong(idle, true)) return 0;
  // Cleared here rather than by the worker, so a cancel right after this call returns is kept.
  s.taskCancel.store(false);
  task.percent.store(0);
  task.startPosition.store(position);
  task.checkedResume.store(checked);
  bool started = false;
  try {  // copying the names may fail as well as the start
    auto body = [kind, destination = std::string(first, *firstLength),
                 source = std::string(second, *secondLength), window,
                 command] { Worker(kind, destination, source, window, command); };
    if (TasksRunInline()) {
      body();
      started = true;
    } else {
      started = pw::StartDetachedThread(std::move(body));
    }
  } catch (...) {
  }
  if (!started) {
    task.startPosition.store(0);
    task.checkedResume.store(false);
    task.busy.store(false);
    return 0;
  }
  return 1;
}

uint64_t Position(uint32_t high, uint32_t low) {
  return static_cast<uint64_t>(high) << 32 | low;
}

}  // namespace

int StartCheckedResume(const char* localPath, const char* remoteName, PwHwnd window,
                       uint32_t command, uint64_t position) {
  return Start(Kind::Receive, localPath, remoteName, window, command, true, position, true);
}

}  // namespace hvusb

using namespace hvusb;

extern "C" HV_API int UsbTaskFileSend(const char* remoteName, const char* localPath, PwHwnd window,
                                      uint32_t command) {
  return Start(Kind::Send, remoteName, localPath, window, command, false, 0);
}

extern "C" HV_API int UsbTaskFileSendPosi(const char* remoteName, const char* localPath,
                                          PwHwnd window, uint32_t command, uint32_t positionHigh,
                                          uint32_t positionLow) {
  return Start(Kind::Send, remoteName, localPath, window, command, true,
               Position(positionHigh, positionLow));
}

extern "C" HV_API int UsbTaskFileReceive(const char* localPath, const char* remoteName,
                                         PwHwnd window, uint32_t command) {
  return Start(Kind::Receive, localPath, remoteName, window, command, false, 0);
}

extern "C" HV_API int UsbTaskFileReceivePosi(const char* localPath, const char* remoteName,
                                             PwHwnd window, uint32_t command, uint32_t positionHigh,
                                             uint32_t positionLow) {
  return Start(Kind::Receive, localPath, remoteName, window, command, true,
               Position(positionHigh, positionLow));
}

extern "C" HV_API uint16_t UsbTaskGetPercent(void) {
  uint16_t percent = Tasks().percent.load();
  if (percent <= 100) return percent;
  Tasks().percent.compare_exchange_strong(percent, 0);
  return 0;
}

extern "C" HV_API int UsbTaskCancel(void) {
  if (!Tasks().busy.load()) return 0;
  State().taskCancel.store(true);
  return 1;
}
