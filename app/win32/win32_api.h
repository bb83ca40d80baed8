// The Win32 headers the dialog uses, without the macros that would rename the program's own
// names: windows.h maps MessageBox, SendMessage and PostMessage to their "A" or "W" functions,
// which would rename the view's MessageBox and the platform's pw::SendMessage and
// pw::PostMessage. The dialog calls the "A" functions by their full names.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h first: these need its types.
#include <commctrl.h>
#include <commdlg.h>

#undef MessageBox
#undef SendMessage
#undef PostMessage
