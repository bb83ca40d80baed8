// Without a handler a box is the system's own message box, owned by the request's window. The
// platform's windows are message-only ones, which cannot own a box: a box meant for one is
// owned by the window the operator sees on that window's thread (the active one, else its first
// visible top-level window), or by none.
#include <windows.h>

#include "message_box_default.hpp"
#include "message_window.hpp"

namespace pw {
namespace {

BOOL CALLBACK TakeFirstVisible(HWND window, LPARAM found) {
  if (!::IsWindowVisible(window) || ::GetWindow(window, GW_OWNER) != nullptr) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

HWND BoxOwner(HWND requested) {
  if (requested == nullptr || !::IsWindow(requested)) return nullptr;
  if (!win32::IsMessageWindow(requested)) return requested;
  const DWORD thread = ::GetWindowThreadProcessId(requested, nullptr);
  if (thread == ::GetCurrentThreadId()) {
    if (HWND active = ::GetActiveWindow()) return active;
  }
  HWND visible = nullptr;
  ::EnumThreadWindows(thread, TakeFirstVisible, reinterpret_cast<LPARAM>(&visible));
  return visible;
}

}  // namespace

int ShowDefaultMessageBox(const MessageBoxRequest& request) {
  const int answer = ::MessageBoxA(BoxOwner(request.owner), request.text.c_str(),
                                   request.caption.c_str(), request.type);
  // No box could be shown (0, or -1 from its dialog: no display, no memory): the default
  // button answers.
  return answer > 0 ? answer : DefaultButton(request.type);
}

}  // namespace pw
