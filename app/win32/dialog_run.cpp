#include "dialog_run.h"

#include <memory>

#include "libraries.h"
#include "penwick/message_box.hpp"

namespace app {

std::optional<int> RunDialog(const CommandLine& line, const DialogSettings& settings) {
  Libraries libraries;
  DialogSession session(libraries, line, settings);
  if (session.Dialog() == nullptr) return std::nullopt;
  // The libraries' own boxes ("Notice"): on the dialog's thread, owned by the dialog like the
  // controller's; from a worker, a box of the worker's own, owned by no window, so that the
  // dialog's thread never waits for a worker's box (it may itself be waiting for that worker).
  const DWORD dialogThread = GetCurrentThreadId();
  DialogView* view = &session.View();
  pw::SetMessageBoxHandler([dialogThread, view](const pw::MessageBoxRequest& request) {
    if (GetCurrentThreadId() == dialogThread) {
      return view->MessageBox(request.text, request.caption, request.type);
    }
    const int answer = MessageBoxA(nullptr, request.text.c_str(), request.caption.c_str(),
                                   request.type | MB_SETFOREGROUND);
    return answer != 0 ? answer : pw::DefaultButton(request.type);
  });
  int status = 0;
  if (session.Start()) {
    status = session.Loop();
  } else {
    status = session.TheRun().ExitStatus();
  }
  pw::SetMessageBoxHandler(nullptr);
  return status;
}

}  // namespace app
