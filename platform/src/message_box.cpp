// Process-wide message-box handler, with the standard-error fallback.
#include "penwick/message_box.hpp"

#include <cstdio>
#include <mutex>

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
  if (handler) return handler(MessageBoxRequest{owner, text, caption, type});
  std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
  return DefaultButton(type);
}

}  // namespace pw
