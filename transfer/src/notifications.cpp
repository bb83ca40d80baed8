// The owner window, its completion code and the notifications sent to it.
#include "notifications.h"

#include <mutex>

#include "penwick/message_box.hpp"
#include "penwick/window.hpp"

namespace transfer {
namespace {

std::mutex g_mutex;
PwHwnd g_owner = nullptr;
int g_completionCode = 0;

void ShowCodecNotice(const char* text) {
  pw::ShowMessageBox(nullptr, text, "Notice", pw::kMbOk | pw::kMbIconError);
}

}  // namespace

void InstallCodecHooks() {
  codec::SetNotifyHook(&Notify);
  codec::SetNoticeHook(&ShowCodecNotice);
}

void RecordOwner(PwHwnd window, int completionCode) {
  std::lock_guard lock(g_mutex);
  g_owner = window;
  g_completionCode = completionCode;
}

PwHwnd OwnerWindow() {
  std::lock_guard lock(g_mutex);
  return g_owner;
}

int CompletionCode() {
  std::lock_guard lock(g_mutex);
  return g_completionCode;
}

void Notify(int code, intptr_t value) {
  pw::Message message;
  message.kind = pw::MessageKind::Command;
  message.code = static_cast<uint32_t>(code) & 0xFFFF;
  message.value = value;
  pw::SendMessage(OwnerWindow(), std::move(message));
}

void NotifyCompletion(intptr_t result) {
  Notify(CompletionCode(), result);
}

}  // namespace transfer
