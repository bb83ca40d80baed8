// Child-process handling of the emulated receiver for the end-to-end tests.
#include "sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "penwick/usb_backend.hpp"

namespace hvusb_test {

SimProcess::SimProcess(const std::vector<std::string>& options) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  std::vector<std::string> args{PENWICK_SIM_PATH, "usb", "--port", "0"};
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    dup2(fds[1], STDOUT_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(fds[1]);
  stdout_ = fds[0];
  if (pid_ < 0) return;
  // First line: "USBIP 127.0.0.1:<port> busid 1-1".
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p{stdout_, POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    char buffer[256];
    const ssize_t n = read(stdout_, buffer, sizeof buffer);
    if (n <= 0) break;
    line.append(buffer, static_cast<size_t>(n));
  }
  unsigned port = 0;
  if (std::sscanf(line.c_str(), "USBIP 127.0.0.1:%u", &port) == 1) {
    port_ = static_cast<uint16_t>(port);
  }
}

SimProcess::~SimProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100 && waitpid(pid_, &status, WNOHANG) == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (waitpid(pid_, &status, WNOHANG) == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
  }
  if (stdout_ >= 0) close(stdout_);
}

std::string SimProcess::DevicePath() const {
  return "usbip:127.0.0.1:" + std::to_string(port_) + "/1-1";
}

void SimProcess::Reboot() const {
  if (pid_ > 0) kill(pid_, SIGUSR1);
}

void SimProcess::UseAsOnlyReceiver() const {
  unsetenv("PENWICK_USB_IDS");
  setenv("PENWICK_USBIP", ("127.0.0.1:" + std::to_string(port_)).c_str(), 1);
  pw::usb::Driver::Process().Reset(pw::usb::Driver::BackendsFromEnvironment());
}

}  // namespace hvusb_test
