// Thread priorities of the library's threads.
#include "worker_threads.h"

#include "penwick/thread_priority.hpp"

namespace transfer {

void SetCurrentThreadPriority(ThreadPriority priority) {
  pw::SetCurrentThreadPriority(priority == ThreadPriority::Highest ? pw::ThreadPriority::Highest
                                                                   : pw::ThreadPriority::Normal);
}

}  // namespace transfer
