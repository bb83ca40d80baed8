// The notification and notice hooks, swappable at any time from any thread.
#include "codec_hooks.h"

#include <atomic>
#include <cstdio>

namespace codec {
namespace {

std::atomic<NotifyHook> g_notify{nullptr};
std::atomic<NoticeHook> g_notice{nullptr};

}  // namespace

void SetNotifyHook(NotifyHook hook) {
  g_notify.store(hook);
}
void SetNoticeHook(NoticeHook hook) {
  g_notice.store(hook);
}

void Notify(int code, intptr_t value) {
  if (NotifyHook hook = g_notify.load()) hook(code, value);
}

void ShowNotice(const char* text) {
  if (NoticeHook hook = g_notice.load()) {
    hook(text);
  } else {
    std::fprintf(stderr, "[Notice] %s\n", text);
  }
}

}  // namespace codec
