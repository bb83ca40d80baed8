// The about box: the program icon, its name with the version, a year, and OK.
#include "win32_api.h"

#include "dialog_ids.h"
#include "dialog_session.h"

namespace app {
namespace {

INT_PTR CALLBACK AboutProcedure(HWND box, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      SetDlgItemTextA(box, IDC_ABOUT_NAME, "PenwickUpload Version " PENWICK_VERSION);
      SetDlgItemTextA(box, IDC_ABOUT_YEAR, "Copyright (C) " PENWICK_YEAR);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(box, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

void ShowAbout(HWND owner) {
  DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutProcedure, 0);
}

}  // namespace app
