// A child program with its stdout on a pipe, for tests and benchmarks that drive the project's
// programs from outside. Every wait is bounded; a child still running at destruction is killed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace pwtest {

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts `args[0]` (a path, not searched for) with `args` as its argument list, this
  // process's environment plus `extraEnvironment` ("NAME=value", replacing a variable of the
  // same name). False when it could not be started.
  bool Start(const std::vector<std::string>& args,
             const std::vector<std::string>& extraEnvironment = {});
  // The process id while the child has not been reaped, else -1.
  pid_t pid() const { return pid_; }

  // The next stdout line with its '\n'. At end of output, whatever is left without one; empty
  // when nothing came within `timeout` or the output has ended.
  std::string ReadLine(std::chrono::milliseconds timeout);

  void Signal(int signal) const;
  // The exit status (the exit code, or 128 + the signal) once the child ends within
  // `timeout`, collecting its output meanwhile; nullopt if it is still running.
  std::optional<int> WaitExit(std::chrono::milliseconds timeout);

  struct Exit {
    int status = -1;       // as WaitExit
    std::string lastLine;  // the last non-empty line of the output not yet read
  };
  // Reads the output until it ends and the child exits, killing it after `timeout`.
  Exit Finish(std::chrono::milliseconds timeout);
  // SIGTERM, then SIGKILL if it has not ended within `grace`; returns the exit status.
  int Stop(std::chrono::milliseconds grace);

 private:
  // Appends what arrives within `timeout` (at most one read); false at end of output.
  bool ReadSome(std::chrono::milliseconds timeout);
  std::optional<int> Reap(bool block);

  pid_t pid_ = -1;
  int out_ = -1;
  bool outputEnded_ = false;
  std::string buffered_;
};

}  // namespace pwtest
