// Message boxes. The front end installs the handler that shows them. Without one, on Windows a
// box is the system's message box (MessageBoxA, owned by the request's window); elsewhere it is
// written to standard error and answered with its default button, so nothing ever waits for an
// answer nobody can give.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "penwick/platform_api.h"
#include "penwick/window.h"

namespace pw {

// Buttons (low nibble), icons and default button, as flags of MessageBoxRequest::type.
enum : unsigned {
  kMbOk = 0x0,
  kMbOkCancel = 0x1,
  kMbYesNoCancel = 0x3,
  kMbYesNo = 0x4,
  kMbRetryCancel = 0x5,
  kMbIconError = 0x10,
  kMbIconQuestion = 0x20,
  kMbIconWarning = 0x30,
  kMbIconInformation = 0x40,
  kMbDefButton2 = 0x100,
  kMbDefButton3 = 0x200,
};

// Answers.
enum : int { kIdOk = 1, kIdCancel = 2, kIdRetry = 4, kIdYes = 6, kIdNo = 7 };

struct MessageBoxRequest {
  PwHwnd owner = nullptr;
  std::string text;
  std::string caption;
  unsigned type = kMbOk;
};

using MessageBoxHandler = std::function<int(const MessageBoxRequest&)>;

// Installs the handler for the whole process; an empty handler restores the default.
PW_PLATFORM_API void SetMessageBoxHandler(MessageBoxHandler handler);
PW_PLATFORM_API int ShowMessageBox(PwHwnd owner, const std::string& text,
                                   const std::string& caption, unsigned type);
// The answers of the buttons a box of this type shows, in their order.
PW_PLATFORM_API std::vector<int> ButtonsOf(unsigned type);
// The button a box of this type answers with when nobody is asked.
PW_PLATFORM_API int DefaultButton(unsigned type);

}  // namespace pw
