// Ctrl-C, Ctrl-Break and the console's close as a request to stop, through the console control
// handler (which the system runs on a thread of its own). Ctrl-C is reported as SIGINT, the
// others as SIGTERM, so callers treat them as on every system. There is no descriptor to poll
// on Windows: StopSignalFd stays -1 and waiters use WaitForStop.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <mutex>

#include "penwick/console_kit/exit_codes.hpp"
#include "penwick/console_kit/stop_signal.hpp"

namespace pw::cli {
namespace {

std::atomic<int> g_signal{0};
HANDLE g_event = nullptr;  // manual-reset, set on the first request

BOOL WINAPI OnControl(DWORD type) {
  const int signal = type == CTRL_C_EVENT ? SIGINT : SIGTERM;
  int expected = 0;
  if (!g_signal.compare_exchange_strong(expected, signal)) ::ExitProcess(kExitCancelled);
  ::SetEvent(g_event);
  return TRUE;
}

}  // namespace

void InstallStopSignals() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (g_event != nullptr) ::SetConsoleCtrlHandler(OnControl, TRUE);
  });
}

int StopSignal() {
  return g_signal.load();
}

const char* StopSignalName(int signal) {
  return signal == SIGINT ? "Ctrl-C" : "Ctrl-Break (or the console's closing)";
}

int StopSignalFd() {
  return -1;
}

bool WaitForStop(std::chrono::milliseconds timeout) {
  if (g_signal.load() != 0) return true;
  if (g_event == nullptr) return false;
  const auto ms = std::clamp<long long>(timeout.count(), 0, 1 << 30);
  ::WaitForSingleObject(g_event, static_cast<DWORD>(ms));
  return g_signal.load() != 0;
}

}  // namespace pw::cli
