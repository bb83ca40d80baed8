#include "dialog_session.h"

#include "control_ids.h"
#include "dialog_ids.h"

namespace app {
namespace {

static_assert(IDC_EXIT == kCmdOk && IDC_CANCEL_HIDDEN == kCmdCancel && IDC_STATUS == kStatusText &&
              IDC_PROGRESS == kProgressBar && IDC_MESSAGE_LIST == kMessageList &&
              IDC_SERIAL_OPEN == kSerialOpen && IDC_SERIAL_CLOSE == kSerialClose &&
              IDC_DOWNLOAD == kDownLoad && IDC_UPLOAD == kUpLoad &&
              IDC_UNPACK_FLASH == kUnpackFlash && IDC_PACK_FLASH == kPackFlash &&
              IDC_GET_PACKED == kGetPackedFlashData && IDC_GET_EEPROM == kGetEepromData &&
              IDC_VIEW_MODEL_ID == kViewModelId && IDC_VIEW_SYSTEM_ID == kViewSystemId &&
              IDC_FILE_OPEN == kFileOpen && IDM_ABOUT == kSysCmdAbout);

constexpr UINT_PTR kTickTimer = 1;
constexpr UINT kTickMilliseconds = 200;

// The dialog's commands: Exit (Enter), cancel (Esc) and the service panel's buttons.
bool IsCommand(int id) {
  return id == kCmdOk || id == kCmdCancel ||
         (id >= kSerialOpen && id <= kFileOpen && id != kMessageList);
}

// What the dialog is before any run uses it: the system menu's About, the icons, the progress
// range. The run's start-up sets the status text and the enabling.
void Prepare(HWND dialog, HICON big, HICON small) {
  if (HMENU menu = GetSystemMenu(dialog, FALSE)) {
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDM_ABOUT, "&About PenwickUpload...");
  }
  SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETRANGE32, 0, 100);
  SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETPOS, 0, 0);
  SendDlgItemMessageA(dialog, IDC_MESSAGE_LIST, EM_SETLIMITTEXT, 0, 0);  // no limit
}

// A minimised dialog shows the program icon centred in its client area.
void PaintIconic(HWND dialog, HICON icon) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(dialog, &paint);
  SendMessageA(dialog, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  GetClientRect(dialog, &client);
  const int width = GetSystemMetrics(SM_CXICON);
  const int height = GetSystemMetrics(SM_CYICON);
  DrawIcon(dc, (client.right - width + 1) / 2, (client.bottom - height + 1) / 2, icon);
  EndPaint(dialog, &paint);
}

HWND CreateMainDialog() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  return CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                            DialogSession::Procedure, 0);
}

}  // namespace

HICON ProgramIcon(int size) {
  return static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_PROGRAM),
                                       IMAGE_ICON, size, size, LR_SHARED));
}

DialogSession::DialogSession(Libraries& libraries, const CommandLine& line,
                             const DialogSettings& settings)
    : dialog_(CreateMainDialog()),
      view_(dialog_),
      run_(view_, libraries, line, {settings.timeoutSeconds, settings.service, true}),
      icon_(ProgramIcon(GetSystemMetrics(SM_CXICON))) {
  if (dialog_ == nullptr) return;
  Prepare(dialog_, icon_, ProgramIcon(GetSystemMetrics(SM_CXSMICON)));
  if (settings.service) view_.ShowServicePanel();
  SetWindowLongPtrA(dialog_, DWLP_USER, reinterpret_cast<LONG_PTR>(this));
}

DialogSession::~DialogSession() {
  if (dialog_ == nullptr) return;
  SetWindowLongPtrA(dialog_, DWLP_USER, 0);
  DestroyWindow(dialog_);
}

bool DialogSession::Start() {
  run_.Start();
  if (run_.Over()) return false;
  ShowWindow(dialog_, SW_SHOW);
  SetForegroundWindow(dialog_);
  SetTimer(dialog_, kTickTimer, kTickMilliseconds, nullptr);
  return true;
}

int DialogSession::Loop() {
  MSG message;
  while (!run_.Over() && GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageA(dialog_, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  KillTimer(dialog_, kTickTimer);
  ShowWindow(dialog_, SW_HIDE);
  return run_.ExitStatus();
}

INT_PTR CALLBACK DialogSession::Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* session = reinterpret_cast<DialogSession*>(GetWindowLongPtrA(dialog, DWLP_USER));
  if (message == WM_INITDIALOG) return TRUE;
  return session != nullptr ? session->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR DialogSession::Handle(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (!IsCommand(id) || HIWORD(wParam) != BN_CLICKED) return FALSE;
      run_.Command(id);
      return TRUE;
    }
    case WM_CLOSE:  // the close button, Alt+F4: as Esc
      run_.Command(kCmdCancel);
      return TRUE;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) != IDM_ABOUT) return FALSE;
      ShowAbout(dialog_);
      return TRUE;
    case WM_TIMER:
      if (wParam == kTickTimer) run_.Tick();
      return TRUE;
    case WM_PAINT:
      if (!IsIconic(dialog_)) return FALSE;
      PaintIconic(dialog_, icon_);
      return TRUE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(icon_);
    default:
      return FALSE;
  }
}

}  // namespace app
