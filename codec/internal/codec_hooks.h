// How the codec reaches the world around it without depending on it: the library that links
// the codec installs a notification hook (codes and values for the owner window) and a notice
// hook (a "Notice" box with an error icon and no owner). Without hooks, notifications are
// dropped and notices go to standard error. Hooks may be swapped at any time (tests do).
#pragma once

#include <cstdint>

namespace codec {

using NotifyHook = void (*)(int code, intptr_t value);
using NoticeHook = void (*)(const char* text);

void SetNotifyHook(NotifyHook hook);
void SetNoticeHook(NoticeHook hook);

void Notify(int code, intptr_t value);
void ShowNotice(const char* text);

// Notification codes the codec sends.
inline constexpr int kNotifyBadPackedData = 16;
inline constexpr int kNotifyBadModelId = 19;

}  // namespace codec
