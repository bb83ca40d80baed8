// A C++ client of the installed NorraLink and platform headers, built through pkg-config by
// the install and package checks: a window receives nothing from a refused serial upload.
#include <NorraLink.h>
#include <penwick/message_box.hpp>
#include <penwick/window.hpp>
int main() {
  int seen = 0;
  PwWindow window([&](const pw::Message& m) {
    seen = static_cast<int>(m.code);
    return intptr_t{0};
  });
  pw::SetMessageBoxHandler([](const pw::MessageBoxRequest&) { return pw::kIdOk; });
  return Dll_SerialUp(window.handle(), 4001) == 0 && Dll_GetSystemId() == 0 && seen == 0 ? 0 : 1;
}
