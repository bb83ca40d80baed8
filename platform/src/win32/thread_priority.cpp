// Thread priorities with the system's own levels; a refusal is ignored.
#include "penwick/thread_priority.hpp"

#include <windows.h>

namespace pw {

void SetCurrentThreadPriority(ThreadPriority priority) {
  const int level =
      priority == ThreadPriority::Highest ? THREAD_PRIORITY_HIGHEST : THREAD_PRIORITY_NORMAL;
  (void)::SetThreadPriority(::GetCurrentThread(), level);
}

}  // namespace pw
