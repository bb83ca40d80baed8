// The platform's message-only windows, as the message boxes see them.
#pragma once

#include <windows.h>

namespace pw::win32 {

// True when `window` is one of the message-only windows behind PwWindow.
bool IsMessageWindow(HWND window);

}  // namespace pw::win32
