// The command the emulated receiver runs against its line (--run): started with one extra
// environment variable, waited for with a bound, stopped if it outstays it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace sim {

class Child {
 public:
  ~Child();
  // Starts `command` (looked up in PATH) with `name`=`value` added to the environment.
  bool Start(const std::vector<std::string>& command, const std::string& name,
             const std::string& value, std::string* error);
  bool Running() const { return pid_ > 0 && !exited_; }
  // True once it has ended; `status` is its exit status (128 + signal when killed).
  bool Exited(int* status = nullptr);
  // Waits up to `timeout` for it to end; then asks it to stop, and finally kills it.
  int Finish(std::chrono::milliseconds timeout);

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = 0;
};

}  // namespace sim
