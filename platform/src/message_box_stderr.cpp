// Without a handler a box is written to standard error and answered with its default button:
// nobody could answer it here.
#include <cstdio>

#include "message_box_default.hpp"

namespace pw {

int ShowDefaultMessageBox(const MessageBoxRequest& request) {
  std::fprintf(stderr, "[%s] %s\n", request.caption.c_str(), request.text.c_str());
  return DefaultButton(request.type);
}

}  // namespace pw
