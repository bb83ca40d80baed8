// Notifications to the owner window: synchronous command messages with a code and a value.
// Every session start records the window and its completion code first; the most recently
// recorded window receives everything from then on.
#pragma once

#include <cstdint>

#include "codec_hooks.h"
#include "penwick/window.h"

namespace transfer {

// 16 and 19 come from the codec, through the hooks below.
using codec::kNotifyBadModelId;
using codec::kNotifyBadPackedData;
inline constexpr int kNotifyDownloadError = 17;
inline constexpr int kNotifyBadDataType = 18;
inline constexpr int kNotifyUpFlashPercent = 4004;
inline constexpr int kNotifyUpEepromPercent = 4005;
inline constexpr int kNotifyDownPercent = 4006;

inline constexpr int kResultSerialUpOk = 1;
inline constexpr int kResultSerialUpFail = 2;
inline constexpr int kResultSerialDownOk = 3;
inline constexpr int kResultSerialDownFail = 4;
inline constexpr int kResultUsbUpOk = 257;
inline constexpr int kResultUsbUpFail = 258;
inline constexpr int kResultUsbDownOk = 259;
inline constexpr int kResultUsbDownFail = 260;

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
