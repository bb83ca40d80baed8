// Thread states read from /proc/self/task/<tid>/stat.
#include "blocked_thread.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <thread>

namespace pwtest {

int CurrentThreadId() {
  return static_cast<int>(::syscall(SYS_gettid));
}

bool WaitUntilBlocked(int tid, std::chrono::milliseconds bound) {
  const auto until = std::chrono::steady_clock::now() + bound;
  const std::string path = "/proc/self/task/" + std::to_string(tid) + "/stat";
  while (std::chrono::steady_clock::now() < until) {
    std::ifstream in(path);
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // "tid (name) S ...": the state follows the name's closing parenthesis.
    const auto close = stat.rfind(')');
    if (close != std::string::npos && close + 2 < stat.size()) {
      const char state = stat[close + 2];
      if (state == 'S' || state == 'D') return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

}  // namespace pwtest
