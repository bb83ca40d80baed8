// Process-wide message-box handler; without one, each system's own fallback.
#include "penwick/message_box.hpp"

#include <mutex>

#include "message_box_default.hpp"

namespace pw {
namespace {

std::mutex g_mutex;
MessageBoxHandler g_handler;

}  // namespace

void SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard lock(g_mutex);
  g_handler = std::move(handler);
}

std::vector<int> ButtonsOf(unsigned type) {
  switch (type & 0xF) {
    case kMbOkCancel:
      return {kIdOk, kIdCancel};
    case kMbYesNoCancel:
      return {kIdYes, kIdNo, kIdCancel};
    case kMbYesNo:
      return {kIdYes, kIdNo};
    case kMbRetryCancel:
      return {kIdRetry, kIdCancel};
    default:
      return {kIdOk};
  }
}

int DefaultButton(unsigned type) {
  const unsigned buttons = type & 0xF;
  const unsigned which = (type >> 8) & 0xF;  // 0: first, 1: second, 2: third
  switch (buttons) {
    case kMbOkCancel:
      return which == 1 ? kIdCancel : kIdOk;
    case kMbYesNoCancel:
      return which == 0 ? kIdYes : which == 1 ? kIdNo : kIdCancel;
    case kMbYesNo:
      return which == 1 ? kIdNo : kIdYes;
    case kMbRetryCancel:
      return which == 1 ? kIdCancel : kIdRetry;
    default:
      return kIdOk;
  }
}

int ShowMessageBox(PwHwnd owner, const std::string& text, const std::string& caption,
                   unsigned type) {
  MessageBoxHandler handler;
  {
    std::lock_guard lock(g_mutex);
    handler = g_handler;
  }
  const MessageBoxRequest request{owner, text, caption, type};
  return handler ? handler(request) : ShowDefaultMessageBox(request);
}

}  // namespace pw
