// Running the --run command with a bound on how long it may take.
#include "child.h"

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <thread>

extern char** environ;

namespace sim {

Child::~Child() {
  if (Running()) Finish(std::chrono::milliseconds(0));
}

bool Child::Start(const std::vector<std::string>& command, const std::string& name,
                  const std::string& value, std::string* error) {
  setenv(name.c_str(), value.c_str(), 1);
  std::vector<char*> argv;
  for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int rc = posix_spawnp(&pid_, argv[0], nullptr, nullptr, argv.data(), environ);
  if (rc != 0) {
    pid_ = -1;
    *error = command[0] + ": " + std::strerror(rc);
    return false;
  }
  return true;
}

bool Child::Exited(int* status) {
  if (pid_ <= 0) return false;
  if (!exited_) {
    int raw = 0;
    pid_t r = waitpid(pid_, &raw, WNOHANG);
    if (r == pid_) {
      exited_ = true;
      status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    } else if (r < 0 && errno == ECHILD) {
      exited_ = true;
      status_ = 127;
    }
  }
  if (exited_ && status) *status = status_;
  return exited_;
}

int Child::Finish(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return 0;
  auto step = [&](std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!Exited() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return exited_;
  };
  if (!step(timeout)) {
    kill(pid_, SIGTERM);
    if (!step(std::chrono::seconds(3))) {
      kill(pid_, SIGKILL);
      step(std::chrono::seconds(10));
    }
  }
  return exited_ ? status_ : 128 + SIGKILL;
}

}  // namespace sim
