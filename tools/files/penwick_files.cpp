// penwick-files: sends a file to the receiver or fetches one from it with libHvUsb's file
// tasks, the way a program would: a window for device changes and the task's end, a wait for
// a receiver, the task's percent as a progress bar, and Ctrl-C as a clean cancel.
//
// The tool is built with the library's internal interface (the same code as libHvUsb.so): the
// task's command message says only done or failed, and the task's outcome record says why.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>

#include "HvUsb.h"
#include "failure_reasons.h"
#include "file_task.h"
#include "files_command.h"
#include "local_target.h"
#include "penwick/console_kit/exit_codes.hpp"
#include "penwick/console_kit/progress_line.hpp"
#include "penwick/console_kit/stop_signal.hpp"
#include "penwick/console_kit/terminal.hpp"
#include "penwick/usb_driver.hpp"
#include "penwick/window.hpp"

namespace penwick_files {
namespace {

using namespace pw::cli;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kTaskDone = 0x7001;  // command identifier of the task's end
constexpr std::chrono::milliseconds kSlice{200};
// The exit statuses penwick-files can return.
constexpr int kFilesExitCodes[] = {kExitOk,        kExitTransferFailed, kExitUsage,
                                   kExitCancelled, kExitSaveFailed,     kExitTimedOut,
                                   kExitRefused};
constexpr uint64_t kResumeOverlap = 64 * 1024;  // bytes of LOCAL a resume fetches again

// What the window has learnt.
struct Receiver {
  bool open = false;     // a usable receiver is open
  bool removed = false;  // it went away
  bool done = false;     // the task has ended
  bool ok = false;       // ... with success
};

// The window lives until the process ends: the USB driver may still post device changes to
// it after main returns (it is closed then, so nothing runs).
PwWindow& MakeWindow(Receiver* receiver) {
  static auto* window = new PwWindow([receiver](const pw::Message& m) -> intptr_t {
    if (m.kind == pw::MessageKind::DeviceChange) {
      if (m.event == pw::kDeviceArrival && DeviceArrival(m.devicePath.c_str()) == 1) {
        receiver->open = true;
      }
      if (m.event == pw::kDeviceRemoveComplete) {
        DeviceRemoval(m.devicePath.c_str());
        uint32_t version = 0;
        if (receiver->open && GetDeviceVersion(&version) == 0) {
          receiver->open = false;
          receiver->removed = true;
        }
      }
    } else if (m.code == kTaskDone) {
      receiver->done = true;
      receiver->ok = m.value == 1;
    }
    return 0;
  });
  return *window;
}

// One failure line on stderr; returns the exit status.
int Report(Reason reason, const Context& context) {
  const Explained explained = Explain(reason, context);
  std::fprintf(stderr, "penwick-files: %s\n", explained.line.c_str());
  return explained.exitCode;
}

int Usage(const std::string& text) {
  std::fprintf(stderr, "penwick-files: %s\n", text.c_str());
  return kExitUsage;
}

// What can be checked before any receiver is there. Sets `*start` for --from and --resume,
// and `*resume` when LOCAL is grown in place.
int CheckLocal(const FilesCommand& command, uint64_t* start, bool* resume) {
  struct stat st {};
  const bool exists = ::stat(command.local.c_str(), &st) == 0;
  const Context context{command.local, command.remote};
  if (exists && S_ISDIR(st.st_mode)) return Report(Reason::kLocalIsFolder, context);
  if (command.verb == Verb::kSend) {
    if (!exists || access(command.local.c_str(), R_OK) != 0) {
      return Usage("cannot read " + command.local);
    }
    if (command.from > static_cast<uint64_t>(st.st_size)) {
      return Usage("--from " + std::to_string(command.from) + " is beyond the end of " +
                   command.local + " (" + std::to_string(st.st_size) + " bytes)");
    }
    *start = command.from;
    return kExitOk;
  }
  if (command.verb != Verb::kReceive) return kExitOk;
  if (exists && !command.force && !command.resume) {
    return Usage(command.local + " exists (--force replaces it, --resume continues it)");
  }
  if (command.resume && exists) {
    if (!S_ISREG(st.st_mode)) return Usage(command.local + " is not a file");
    const auto size = static_cast<uint64_t>(st.st_size);
    *start = size - std::min(size, kResumeOverlap);
    *resume = size != 0;
  }
  return kExitOk;
}

// Waits until a receiver is open, showing for how long. kExitOk, kExitTimedOut or
// kExitCancelled.
int WaitForReceiver(PwWindow& window, Receiver& receiver, const FilesCommand& command,
                    ProgressLine& progress) {
  if (StartPnpNotice(window.handle()) == 1) receiver.open = true;
  const std::string note = pw::usb::Driver::EnvironmentNote();
  const auto start = Clock::now();
  while (!receiver.open) {
    if (StopSignal() != 0) return kExitCancelled;
    const auto waited = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start);
    if (command.timeoutSeconds &&
        static_cast<uint64_t>(waited.count()) >= *command.timeoutSeconds) {
      progress.Line("No receiver within " + std::to_string(*command.timeoutSeconds) + " s");
      return kExitTimedOut;
    }
    progress.Status("Waiting for the receiver: " + std::to_string(waited.count()) + " s" +
                    (note.empty() ? "" : " (" + note + ")"));
    // A receiver whose open was refused (permissions set late) is tried again.
    if (TryDeviceOpen() == 1 && DeviceArrival(nullptr) == 1) receiver.open = true;
    window.Pump([&] { return receiver.open; }, kSlice);
  }
  progress.Finish();
  return kExitOk;
}

int ShowInfo(ProgressLine& progress) {
  int32_t vendor = 0, product = 0;
  uint32_t version = 0;
  if (GetDeviceVidPid(&vendor, &product) == 0 || GetDeviceVersion(&version) == 0) {
    progress.Finish();
    return Report(Reason::kReceiverGone, {});
  }
  char line[96];
  std::snprintf(line, sizeof line, "receiver %04x:%04x, device version %04x",
                static_cast<unsigned>(vendor), static_cast<unsigned>(product), version);
  progress.Line(line);
  return kExitOk;
}

int StartTask(const FilesCommand& command, uint64_t start, const LocalTarget* target,
              PwHwnd window) {
  const auto high = static_cast<uint32_t>(start >> 32);
  const auto low = static_cast<uint32_t>(start);
  const char* remote = command.remote.c_str();
  if (command.verb == Verb::kSend) {
    const char* local = command.local.c_str();
    return start == 0 ? UsbTaskFileSend(remote, local, window, kTaskDone)
                      : UsbTaskFileSendPosi(remote, local, window, kTaskDone, high, low);
  }
  const char* local = target->path().c_str();
  return target->resume() ? hvusb::StartCheckedResume(local, remote, window, kTaskDone, start)
                          : UsbTaskFileReceive(local, remote, window, kTaskDone);
}

// Runs the task to its end, with the progress bar; Ctrl-C asks it to stop.
int RunTask(const FilesCommand& command, uint64_t start, bool resume, PwWindow& window,
            Receiver& receiver, ProgressLine& progress) {
  const bool send = command.verb == Verb::kSend;
  std::optional<LocalTarget> target;
  if (!send) target.emplace(command.local, resume);
  const std::string what = send ? "Sending " + command.local + " to " + command.remote
                                : "Receiving " + command.remote + " into " + command.local;
  if (StartTask(command, start, target ? &*target : nullptr, window.handle()) == 0) {
    progress.Line(what + ": the receiver or the library refused to start");
    return kExitRefused;
  }
  progress.Line(what + (start != 0 ? " from byte " + std::to_string(start) : ""));
  bool cancelled = false;
  while (!receiver.done) {
    if (StopSignal() != 0 && !cancelled) {
      cancelled = UsbTaskCancel() == 1;
      progress.Line("Cancelling after the current block...");
    }
    progress.Bar(send ? "send" : "receive", UsbTaskGetPercent());
    window.Pump([&] { return receiver.done; }, kSlice);
  }
  Context context{command.local, command.remote};
  if (receiver.ok) {
    if (target && !target->Commit()) {
      context.error = errno;
      progress.Finish();
      return Report(context.error == EISDIR ? Reason::kLocalIsFolder : Reason::kLocalCreate,
                    context);
    }
    progress.Bar(send ? "send" : "receive", 100);
    progress.Line("Done");
    return kExitOk;
  }
  if (target) target->Abandon();
  const hvusb::TaskOutcome outcome = hvusb::LastTaskOutcome();
  if (cancelled && outcome.failure == hvusb::TaskFailure::kCancelled) {
    progress.Line("Cancelled");
    return kExitCancelled;
  }
  progress.Finish();
  AddOutcome(outcome, &context);
  return Report(ReasonOf(outcome, receiver.removed, !send), context);
}

int Run(const FilesCommand& command) {
  uint64_t start = 0;
  bool resume = false;
  if (const int checked = CheckLocal(command, &start, &resume); checked != kExitOk) {
    return checked;
  }
  InstallStopSignals();
  ProgressLine progress(stdout, pw::cli::RedrawsInPlace(stdout));
  static Receiver receiver;
  PwWindow& window = MakeWindow(&receiver);
  InitDevice();
  int status = WaitForReceiver(window, receiver, command, progress);
  if (status == kExitCancelled) progress.Line("Cancelled");
  if (status == kExitOk) {
    status = command.verb == Verb::kInfo
                 ? ShowInfo(progress)
                 : RunTask(command, start, resume, window, receiver, progress);
  }
  window.Close();
  return status;
}

}  // namespace
}  // namespace penwick_files

int main(int argc, char** argv) {
  using namespace penwick_files;
  FilesCommand command;
  std::string error;
  if (!ParseFilesCommand(argc, argv, &command, &error)) {
    std::fprintf(stderr, "penwick-files: %s\n%s", error.c_str(), kFilesUsage);
    return pw::cli::kExitUsage;
  }
  if (command.help) {
    std::printf("%s\nExit status:\n%s", kFilesUsage,
                pw::cli::ExitCodeHelp(kFilesExitCodes).c_str());
    return pw::cli::kExitOk;
  }
  if (command.version) {
    std::printf("penwick-files %s\n", PENWICK_VERSION);
    return pw::cli::kExitOk;
  }
  return Run(command);
}
