// The window front end of PenwickUpload, measured as a real program: the time from starting it
// to an armed transfer (start-up has closed Upload.Log, which it does last), and the CPU its
// window thread uses while it waits for a receiver that never answers (a serial download
// against the emulated receiver holding back its request). The platform is the caller's:
// QT_QPA_PLATFORM=offscreen, or DISPLAY for an X server (xvfb-run -a, say).
// Usage: window_bench [RUNS] [IDLE_SECONDS]   (defaults 10 and 20; the receiver holds back
// its request for 60 s, so IDLE_SECONDS stays under 55)
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <signal.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool Run(std::vector<std::string> args) {
  pwtest::ChildProcess child;
  return child.Start(args) && child.Finish(60s).status == 0;
}

// utime + stime of /proc/PID/stat or /proc/PID/task/TID/stat, in clock ticks.
long long CpuTicks(const std::string& statPath) {
  std::ifstream in(statPath);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  long long utime = 0, stime = 0;
  for (int i = 3; fields >> field; ++i) {
    if (i == 14) utime = std::stoll(field);
    if (i == 15) {
      stime = std::stoll(field);
      break;
    }
  }
  return utime + stime;
}

// Waits until Upload.Log in the watched folder is closed after writing; false after a minute.
bool WaitForLogClosed(int inotify) {
  const auto deadline = Clock::now() + 60s;
  alignas(inotify_event) char buffer[4096];
  while (Clock::now() < deadline) {
    pollfd ready{inotify, POLLIN, 0};
    if (poll(&ready, 1, 1000) <= 0) continue;
    const ssize_t got = read(inotify, buffer, sizeof buffer);
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if (event->len > 0 && std::string(event->name) == "Upload.Log") return true;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 10;
  const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 20;
  const auto work =
      std::filesystem::temp_directory_path() / ("pw-window-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(work);
  std::filesystem::current_path(work);
  std::ofstream("eeprom.bin", std::ios::binary) << std::string(256, '\x5A');
  if (!Run({PENWICK_PACK_PATH, "sample", "region.upk", "1"}) ||
      !Run({PENWICK_PACK_PATH, "pack", "region.upk", "image.pak", "0x1234"}) ||
      !Run({PENWICK_PACK_PATH, "transfer", "image.pak", "eeprom.bin", "settings.dat"})) {
    std::fprintf(stderr, "penwick-pack failed\n");
    return 1;
  }
  std::vector<double> startup;
  double threadPercent = -1, processPercent = -1;
  for (int run = 0; run < runs; ++run) {
    pwtest::ChildProcess sim;
    sim.Start({PENWICK_SIM_PATH, "serial", "--file", "settings.dat", "--timeout", "600",
               "--reboot-delay-ms", "60000"});
    const std::string line = sim.ReadLine(30s);
    if (line.rfind("PTY ", 0) != 0) {
      std::fprintf(stderr, "penwick-sim named no pty\n");
      return 1;
    }
    const std::string pty = line.substr(4, line.size() - 5);
    std::filesystem::remove("Upload.Log");
    const int inotify = inotify_init1(IN_CLOEXEC);
    inotify_add_watch(inotify, ".", IN_CLOSE_WRITE);
    pwtest::ChildProcess program;
    const auto started = Clock::now();
    program.Start({PENWICK_UPLOAD_PATH, "-fsettings.dat", "-pCOM1"}, {"PENWICK_COM1=" + pty});
    const bool armed = WaitForLogClosed(inotify);
    const auto elapsed = std::chrono::duration<double, std::milli>(Clock::now() - started);
    close(inotify);
    if (!armed) {
      std::fprintf(stderr, "run %d: start-up did not end\n", run);
      return 1;
    }
    startup.push_back(elapsed.count());
    if (run == 0 && idleSeconds > 0) {
      std::this_thread::sleep_for(1s);  // the window is shown and painted
      const std::string pid = std::to_string(program.pid());
      const std::string thread = "/proc/" + pid + "/task/" + pid + "/stat";
      const std::string process = "/proc/" + pid + "/stat";
      const long long thread0 = CpuTicks(thread), process0 = CpuTicks(process);
      const auto from = Clock::now();
      std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
      const double seconds = std::chrono::duration<double>(Clock::now() - from).count();
      const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
      threadPercent = 100.0 * static_cast<double>(CpuTicks(thread) - thread0) / ticks / seconds;
      processPercent = 100.0 * static_cast<double>(CpuTicks(process) - process0) / ticks / seconds;
    }
    program.Signal(SIGTERM);
    const auto status = program.WaitExit(30s);
    sim.Stop(5s);
    if (!status || *status != 8) {
      std::fprintf(stderr, "run %d: the program did not end as cancelled\n", run);
      return 1;
    }
  }
  std::sort(startup.begin(), startup.end());
  std::printf("platform: %s\n", std::getenv("QT_QPA_PLATFORM") != nullptr
                                    ? std::getenv("QT_QPA_PLATFORM")
                                    : (std::string("X display ") +
                                       (std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "?"))
                                          .c_str());
  std::printf(
      "start-up to an armed serial download, %d runs: median %.1f ms, min %.1f ms, "
      "max %.1f ms\n",
      runs, startup[startup.size() / 2], startup.front(), startup.back());
  if (threadPercent >= 0) {
    std::printf(
        "waiting for the receiver, %d s: window thread %.3f %% of a core, whole "
        "process %.3f %%\n",
        idleSeconds, threadPercent, processPercent);
  }
  std::filesystem::current_path("/");
  std::filesystem::remove_all(work);
  return 0;
}
