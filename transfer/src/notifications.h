// Notifications to the owner window: synchronous command messages with a code and a value.
// Every session start records the window and its completion code first; the most recently
// recorded window receives everything from then on.
#pragma once

#include <cstdint>

#include "NorraLink.h"
#include "codec_hooks.h"
#include "penwick/window.h"

namespace transfer {

// The codes and results are NorraLink.h's. The codec sends two of them through the hooks
// below; it sits beneath this library and keeps its own names for them.
static_assert(codec::kNotifyBadPackedData == NL_NOTIFY_BAD_PACKED_DATA);
static_assert(codec::kNotifyBadModelId == NL_NOTIFY_BAD_MODEL_ID);

// Points the codec's notification and notice hooks at this library's owner window and notice
// box. Called once, when the library's state is created (library_state.cpp).
void InstallCodecHooks();

void RecordOwner(PwHwnd window, int completionCode);
PwHwnd OwnerWindow();
int CompletionCode();

// Sends (code, value) to the owner window and returns when it has been handled.
void Notify(int code, intptr_t value);
// Sends the recorded completion code with the session's result.
void NotifyCompletion(intptr_t result);

}  // namespace transfer
