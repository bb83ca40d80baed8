#include "dialog_view.h"

#include <vector>

#include "control_ids.h"
#include "dialog_ids.h"
#include "penwick/message_box.hpp"

namespace app {
namespace {

// The status text's font is made smaller, down to this height in pixels, before a long text
// (why a run failed, and what to try) is cut off by its fixed area.
constexpr int kSmallestStatusPixels = 9;

// The controls of the service panel, shown with it.
constexpr int kServiceControls[] = {
    IDC_GROUP_SERIAL,    IDC_SERIAL_OPEN,   IDC_DOWNLOAD,       IDC_SERIAL_CLOSE, IDC_UPLOAD,
    IDC_GROUP_FUNCTIONS, IDC_GET_PACKED,    IDC_GET_EEPROM,     IDC_UNPACK_FLASH, IDC_PACK_FLASH,
    IDC_GROUP_ETC,       IDC_VIEW_MODEL_ID, IDC_VIEW_SYSTEM_ID, IDC_FILE_OPEN,    IDC_MESSAGE_LIST};

RECT DialogUnits(HWND dialog, int left, int top, int width, int height) {
  RECT rect{left, top, left + width, top + height};
  MapDialogRect(dialog, &rect);
  return rect;
}

// The height the text needs at the width of `area` in `font`.
int TextHeight(HWND control, HFONT font, const std::string& text, const RECT& area) {
  HDC dc = GetDC(control);
  const HGDIOBJ old = SelectObject(dc, font);
  RECT needed = area;
  DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &needed,
            DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return needed.bottom - needed.top;
}

}  // namespace

DialogView::DialogView(HWND dialog) : dialog_(dialog) {}

DialogView::~DialogView() {
  if (statusFont_ != nullptr) DeleteObject(statusFont_);
}

void DialogView::ShowServicePanel() {
  const RECT client = DialogUnits(dialog_, 0, 0, DLG_SERVICE_WIDTH, DLG_SERVICE_HEIGHT);
  RECT frame = client;
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(dialog_, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrA(dialog_, GWL_EXSTYLE)));
  SetWindowPos(dialog_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // The operator's part takes the panel's width.
  const int width = DLG_SERVICE_WIDTH - 14;
  const struct {
    int id, top, height;
  } operatorPart[] = {{IDC_STATUS, 7, 28}, {IDC_PROGRESS, 39, 9}, {IDC_EXIT, 57, 21}};
  for (const auto& control : operatorPart) {
    const RECT rect = DialogUnits(dialog_, 7, control.top, width, control.height);
    MoveWindow(GetDlgItem(dialog_, control.id), rect.left, rect.top, rect.right - rect.left,
               rect.bottom - rect.top, TRUE);
  }
  for (int id : kServiceControls) ShowWindow(GetDlgItem(dialog_, id), SW_SHOWNA);
}

void DialogView::WaitWhileBoxShown(const std::function<bool()>& done) {
  MSG message;
  while (!done() && !IsWindowEnabled(dialog_)) {
    if (GetMessageA(&message, nullptr, 0, 0) <= 0) {
      PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that ends on it
      return;
    }
    // The box's keyboard (Enter, Esc, Tab) as its own loop would handle it.
    HWND root = message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    const bool inBox = root != nullptr && GetWindow(root, GW_OWNER) == dialog_;
    if (!inBox || !IsDialogMessageA(root, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
}

void DialogView::AppendMessage(const std::string&, EntryKind, const std::string& allText,
                               int scrollBy) {
  HWND list = GetDlgItem(dialog_, IDC_MESSAGE_LIST);
  SetWindowTextA(list, allText.c_str());
  SendMessageA(list, EM_LINESCROLL, 0, scrollBy);
}

void DialogView::SetStatusText(const std::string& text) {
  HWND status = GetDlgItem(dialog_, IDC_STATUS);
  RECT area;
  GetClientRect(status, &area);
  const auto dialogFont = reinterpret_cast<HFONT>(SendMessageA(dialog_, WM_GETFONT, 0, 0));
  HFONT chosen = dialogFont;
  if (TextHeight(status, dialogFont, text, area) > area.bottom) {
    LOGFONTA shape{};
    GetObjectA(dialogFont, sizeof shape, &shape);
    int height = shape.lfHeight < 0 ? -shape.lfHeight : shape.lfHeight;
    HFONT smaller = nullptr;
    while (height > kSmallestStatusPixels) {
      shape.lfHeight = -(--height);
      shape.lfWidth = 0;
      if (smaller != nullptr) DeleteObject(smaller);
      smaller = CreateFontIndirectA(&shape);
      if (smaller == nullptr || TextHeight(status, smaller, text, area) <= area.bottom) break;
    }
    if (smaller != nullptr) chosen = smaller;
  }
  SendMessageA(status, WM_SETFONT, reinterpret_cast<WPARAM>(chosen), FALSE);
  if (statusFont_ != nullptr && statusFont_ != chosen) DeleteObject(statusFont_);
  statusFont_ = chosen == dialogFont ? nullptr : chosen;
  SetWindowTextA(status, text.c_str());
}

void DialogView::SetProgress(int percent, ProgressKind) {
  SendDlgItemMessageA(dialog_, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void DialogView::EnableControl(int controlId, bool enable) {
  if (HWND control = GetDlgItem(dialog_, controlId)) EnableWindow(control, enable ? TRUE : FALSE);
}

int DialogView::MessageBox(const std::string& text, const std::string& caption, unsigned type) {
  ++modal_;
  const int answer = MessageBoxA(dialog_, text.c_str(), caption.c_str(), type);
  --modal_;
  return answer != 0 ? answer : pw::DefaultButton(type);
}

void DialogView::Move(int x, int y) {
  SetWindowPos(dialog_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void DialogView::Close(DialogResult) {
  // The session's loop ends when the run is over; the result is the run's exit status.
  PostMessageA(dialog_, WM_NULL, 0, 0);
}

std::optional<std::string> DialogView::ChooseFileToOpen(const std::string& initialFolder,
                                                        const std::string& filter) {
  const std::string filters = OpenFileFilter(filter);
  std::vector<char> path(32768, '\0');
  OPENFILENAMEA request{};
  request.lStructSize = sizeof request;
  request.hwndOwner = dialog_;
  request.lpstrFilter = filters.c_str();
  request.nFilterIndex = 1;
  request.lpstrFile = path.data();
  request.nMaxFile = static_cast<DWORD>(path.size());
  request.lpstrInitialDir = initialFolder.c_str();
  request.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
  ++modal_;
  const BOOL chosen = GetOpenFileNameA(&request);
  --modal_;
  if (!chosen) return std::nullopt;
  return std::string(path.data());
}

void DialogView::Note(const std::string& text) {
  if (!text.empty()) SetStatusText(std::string(kRebootStatus) + "\r\n" + text);
}

std::string OpenFileFilter(const std::string& filter) {
  std::string result;
  size_t start = 0;
  while (start < filter.size()) {
    const size_t end = filter.find('|', start);
    const std::string field = filter.substr(start, end == std::string::npos ? end : end - start);
    if (field.empty()) break;  // "||" ends the list
    result += field;
    result += '\0';
    if (end == std::string::npos) break;
    start = end + 1;
  }
  result += '\0';
  return result;
}

}  // namespace app
