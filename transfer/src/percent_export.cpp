// Dll_GetPercent: the session's download or upload percentage.
#include "NorraLink.h"
#include "session_state.h"

extern "C" int32_t Dll_GetPercent(int32_t which) {
  return which != 0 ? transfer::Session().downloadPercent.load()
                    : transfer::Session().uploadPercent.load();
}
