// Child programs with their stdout on a pipe; bounded waits, killed when left running.
#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <utility>

extern char** environ;

namespace pwtest {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

milliseconds Left(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
  return std::max(left, milliseconds(0));
}

int StatusOf(int waitStatus) {
  return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
}

std::string NameOf(const std::string& entry) {
  return entry.substr(0, entry.find('='));
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    Reap(true);
  }
  if (out_ >= 0) close(out_);
}

bool ChildProcess::Start(const std::vector<std::string>& args,
                         const std::vector<std::string>& extraEnvironment) {
  if (args.empty() || pid_ > 0 || out_ >= 0) return false;
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const bool replaced =
        std::any_of(extraEnvironment.begin(), extraEnvironment.end(),
                    [&](const std::string& extra) { return NameOf(extra) == NameOf(entry); });
    if (!replaced) environment.push_back(entry);
  }
  environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
  std::vector<std::string> argStrings = args;
  std::vector<char*> argv, envp;
  for (auto& a : argStrings) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    pid_ = -1;
    close(fds[0]);
    return false;
  }
  out_ = fds[0];
  return true;
}

bool ChildProcess::ReadSome(milliseconds timeout) {
  if (out_ < 0 || outputEnded_) return false;
  pollfd p{out_, POLLIN, 0};
  const auto ms = static_cast<int>(std::min<long long>(timeout.count(), 60'000));
  if (poll(&p, 1, ms) <= 0) return true;
  char buffer[4096];
  const ssize_t n = read(out_, buffer, sizeof buffer);
  if (n < 0 && errno == EINTR) return true;
  if (n <= 0) {
    outputEnded_ = true;
    return false;
  }
  buffered_.append(buffer, static_cast<size_t>(n));
  return true;
}

std::string ChildProcess::ReadLine(milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const size_t nl = buffered_.find('\n');
    if (nl != std::string::npos) {
      std::string line = buffered_.substr(0, nl + 1);
      buffered_.erase(0, nl + 1);
      return line;
    }
    if (out_ < 0 || outputEnded_) return std::exchange(buffered_, {});
    if (Clock::now() >= deadline) return {};
    ReadSome(Left(deadline));
  }
}

void ChildProcess::Signal(int signal) const {
  if (pid_ > 0) kill(pid_, signal);
}

std::optional<int> ChildProcess::Reap(bool block) {
  if (pid_ <= 0) return std::nullopt;
  int waitStatus = 0;
  pid_t r;
  do {
    r = waitpid(pid_, &waitStatus, block ? 0 : WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r != pid_) return std::nullopt;
  pid_ = -1;
  return StatusOf(waitStatus);
}

std::optional<int> ChildProcess::WaitExit(milliseconds timeout) {
  if (pid_ <= 0) return std::nullopt;
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (auto status = Reap(false)) return status;
    if (Clock::now() >= deadline) return std::nullopt;
    const milliseconds slice = std::min(Left(deadline), milliseconds(10));
    // Keep the pipe drained so a child writing a lot is not stuck on it.
    if (!ReadSome(slice)) std::this_thread::sleep_for(slice);
  }
}

ChildProcess::Exit ChildProcess::Finish(milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline && ReadSome(std::min(Left(deadline), milliseconds(100)))) {
  }
  Exit exit;
  std::optional<int> status = WaitExit(Left(deadline));
  if (!status && pid_ > 0) {
    kill(pid_, SIGKILL);
    status = Reap(true);
  }
  exit.status = status.value_or(-1);
  while (!buffered_.empty() && buffered_.back() == '\n') buffered_.pop_back();
  const size_t nl = buffered_.rfind('\n');
  exit.lastLine = nl == std::string::npos ? buffered_ : buffered_.substr(nl + 1);
  buffered_.clear();
  return exit;
}

int ChildProcess::Stop(milliseconds grace) {
  Signal(SIGTERM);
  std::optional<int> status = WaitExit(grace);
  if (!status && pid_ > 0) {
    kill(pid_, SIGKILL);
    status = Reap(true);
  }
  return status.value_or(-1);
}

}  // namespace pwtest
