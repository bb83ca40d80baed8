// Thread priorities as nice values; a refusal is ignored.
#include "penwick/thread_priority.hpp"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace pw {

void SetCurrentThreadPriority(ThreadPriority priority) {
  // On Linux a nice value set for a thread id applies to that thread alone.
  const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
  const int nice = priority == ThreadPriority::Highest ? -10 : 0;
  (void)::setpriority(PRIO_PROCESS, tid, nice);
}

}  // namespace pw
