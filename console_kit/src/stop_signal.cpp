// SIGINT/SIGTERM handling through a self-pipe: the handler only stores the signal number and
// writes one byte, which is all a handler may safely do.
#include "penwick/console_kit/stop_signal.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "penwick/console_kit/exit_codes.hpp"

namespace pw::cli {
namespace {

std::atomic<int> g_signal{0};
int g_pipe[2] = {-1, -1};

void OnSignal(int signal) {
  int expected = 0;
  if (!g_signal.compare_exchange_strong(expected, signal)) _exit(kExitCancelled);
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(g_pipe[1], &byte, 1);
}

}  // namespace

void InstallStopSignals() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
  });
}

int StopSignal() {
  return g_signal.load();
}

const char* StopSignalName(int signal) {
  return signal == SIGTERM ? "SIGTERM" : "Ctrl-C";
}

int StopSignalFd() {
  return g_pipe[0];
}

bool WaitForStop(std::chrono::milliseconds timeout) {
  if (g_signal.load() != 0) return true;
  if (g_pipe[0] < 0) return false;
  pollfd fd{g_pipe[0], POLLIN, 0};
  const auto ms = static_cast<int>(std::min<long long>(timeout.count(), 1 << 30));
  poll(&fd, 1, ms < 0 ? 0 : ms);
  return g_signal.load() != 0;
}

}  // namespace pw::cli
