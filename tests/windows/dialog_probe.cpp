// penwick-dialog-probe.exe: what the end-to-end runs of the dialog need from outside the
// program, under Wine: where the program's dialog and its controls are on the screen (so a
// screenshot of the X server can be checked), what its status text and progress bar show, and
// a press of one of its buttons.
//   penwick-dialog-probe wait SECONDS            the dialog's rectangles and state, once shown
//   penwick-dialog-probe progress LOW HIGH SECONDS   waits until the status text shows a
//                                                percentage from LOW to below HIGH, then as wait
//   penwick-dialog-probe press ID                a click of the button ID (1 is Exit)
// Exit status 0, or 1 when the dialog did not come (or the percentage did not) in time.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kStatusText = 1013;
constexpr int kProgressBar = 1012;
constexpr int kMessageList = 1002;
constexpr UINT kGetPosition = WM_USER + 8;  // PBM_GETPOS

HWND FindDialog() {
  HWND dialog = FindWindowA("#32770", "PenwickUpload");
  return dialog != nullptr && IsWindowVisible(dialog) ? dialog : nullptr;
}

void PrintRect(const char* name, HWND window) {
  RECT rect{};
  if (window != nullptr && IsWindowVisible(window)) GetWindowRect(window, &rect);
  std::printf("%s %ld %ld %ld %ld\n", name, rect.left, rect.top, rect.right, rect.bottom);
}

void PrintState(HWND dialog) {
  PrintRect("window", dialog);
  PrintRect("status", GetDlgItem(dialog, kStatusText));
  PrintRect("progress", GetDlgItem(dialog, kProgressBar));
  PrintRect("list", GetDlgItem(dialog, kMessageList));
  char text[1024] = {};
  GetDlgItemTextA(dialog, kStatusText, text, sizeof text);
  for (char* c = text; *c != '\0'; ++c) {
    if (*c == '\r' || *c == '\n') *c = ' ';
  }
  std::printf("pos %ld\ntext %s\n",
              static_cast<long>(SendDlgItemMessageA(dialog, kProgressBar, kGetPosition, 0, 0)),
              text);
  // The message list's entries, one a line (the list is shown with --service only).
  static char list[65536];
  list[0] = '\0';
  GetDlgItemTextA(dialog, kMessageList, list, sizeof list);
  for (char* line = std::strtok(list, "\r\n"); line != nullptr;
       line = std::strtok(nullptr, "\r\n")) {
    std::printf("entry %s\n", line);
  }
}

// The percentage the status text shows ("Writing 42%"), or -1.
long StatusPercent(HWND dialog) {
  char text[1024] = {};
  GetDlgItemTextA(dialog, kStatusText, text, sizeof text);
  const char* percent = std::strchr(text, '%');
  if (percent == nullptr || percent == text) return -1;
  const char* digits = percent;
  while (digits > text && digits[-1] >= '0' && digits[-1] <= '9') --digits;
  return digits == percent ? -1 : std::atol(digits);
}

// Waits until the dialog is shown and `ready` holds for it.
template <typename Ready>
HWND WaitFor(double seconds, Ready ready) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
  do {
    if (HWND dialog = FindDialog(); dialog != nullptr && ready(dialog)) return dialog;
    Sleep(20);
  } while (GetTickCount64() < deadline);
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "wait" && argc == 3) {
    HWND dialog = WaitFor(std::atof(argv[2]), [](HWND) { return true; });
    if (dialog == nullptr) return 1;
    PrintState(dialog);
    return 0;
  }
  if (command == "progress" && argc == 5) {
    const long low = std::atol(argv[2]);
    const long high = std::atol(argv[3]);
    HWND dialog = WaitFor(std::atof(argv[4]), [low, high](HWND d) {
      const long percent = StatusPercent(d);
      return percent >= low && percent < high;
    });
    if (dialog == nullptr) return 1;
    PrintState(dialog);
    return 0;
  }
  if (command == "press" && argc == 3) {
    HWND dialog = FindDialog();
    if (dialog == nullptr) return 1;
    const int id = std::atoi(argv[2]);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    return 0;
  }
  std::fprintf(stderr,
               "usage: penwick-dialog-probe wait SECONDS | progress LOW HIGH SECONDS | press ID\n");
  return 2;
}
