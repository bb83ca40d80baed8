// The platform's message-only windows, as the message boxes see them, and the module whose
// window classes they are.
#pragma once

#include <windows.h>

namespace pw::win32 {

// True when `window` is one of the message-only windows behind PwWindow.
bool IsMessageWindow(HWND window);
// The platform library's own module, the instance of the window classes it registers.
HMODULE PlatformModule();

}  // namespace pw::win32
