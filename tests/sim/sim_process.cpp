#include "sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

extern char** environ;

namespace simtest {

SimProcess::~SimProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (out_ >= 0) close(out_);
}

bool SimProcess::Start(const std::vector<std::string>& args) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  std::vector<std::string> all = {PENWICK_SIM_PATH, "serial"};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  out_ = fds[0];
  if (rc != 0) {
    pid_ = -1;
    return false;
  }
  // The first line names the pty.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (buffered_.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p{out_, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buf[256];
    ssize_t n = read(out_, buf, sizeof buf);
    if (n <= 0) break;
    buffered_.append(buf, static_cast<size_t>(n));
  }
  const size_t nl = buffered_.find('\n');
  if (nl == std::string::npos || buffered_.rfind("PTY ", 0) != 0) return false;
  pty_ = buffered_.substr(4, nl - 4);
  buffered_.erase(0, nl + 1);
  return true;
}

int SimProcess::Finish(std::string* lastLine, std::chrono::seconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{out_, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buf[256];
    ssize_t n = read(out_, buf, sizeof buf);
    if (n <= 0) break;
    buffered_.append(buf, static_cast<size_t>(n));
  }
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
  }
  pid_ = -1;
  while (!buffered_.empty() && buffered_.back() == '\n') buffered_.pop_back();
  const size_t nl = buffered_.rfind('\n');
  *lastLine = nl == std::string::npos ? buffered_ : buffered_.substr(nl + 1);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool Host::Send(const sim::Frame& frame, uint8_t sumDelta) {
  return SendRaw(sim::EncodeSerialFrame(frame, sumDelta));
}

bool Host::SendRaw(const std::vector<uint8_t>& bytes) {
  return port_.Write(bytes.data(), bytes.size()) == static_cast<long>(bytes.size());
}

bool Host::Receive(sim::Frame* out, std::chrono::milliseconds timeout, bool* badSum) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (auto r = parser_.Next()) {
      *out = r->frame;
      if (badSum) *badSum = r->kind == sim::SerialFrameParser::Kind::BadSum;
      return true;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    const pw::SerialPort::WaitResult wait = port_.WaitForData(left);
    lineFailed_ = wait == pw::SerialPort::WaitResult::Error;
    if (wait != pw::SerialPort::WaitResult::Data) return false;
    uint8_t buf[1024];
    long n = port_.Read(buf, sizeof buf);
    lineFailed_ = n < 0;
    if (n < 0) return false;
    parser_.Feed(buf, static_cast<size_t>(n));
  }
}

}  // namespace simtest
