// The program's dialog on Windows, driven as the operator and the libraries' workers drive it:
// the real dialog, view and run over the controller with scripted libraries. A script thread
// acts while the test's thread runs the dialog's message loop: the system menu's About, the
// enabling of the service panel, notices sent by worker threads, the Yes/No box after a serial
// upload (Yes is its default, Enter answers it) with a notice that arrives while it is open (held,
// its sender waiting, until the box is answered), the position from -x/-y, and Esc ending the
// session.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "NorraLink.h"
#include "control_ids.h"
#include "controller_fixture.h"
#include "dialog_ids.h"
#include "dialog_session.h"
#include "penwick/window.hpp"
#include "work_folder.h"

namespace {

using app::ProgressKind;

std::string Text(HWND window) {
  char text[4096] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// A shown top-level dialog with this caption, or null after 10 s.
HWND WaitForBox(const char* caption) {
  for (int i = 0; i < 500; ++i) {
    HWND box = FindWindowA("#32770", caption);
    if (box != nullptr && IsWindowVisible(box)) return box;
    Sleep(20);
  }
  return nullptr;
}

bool WaitUntil(const std::function<bool()>& condition) {
  for (int i = 0; i < 500; ++i) {
    if (condition()) return true;
    Sleep(20);
  }
  return false;
}

// A click of a dialog button as the button itself reports it.
void Click(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// A notice as a library worker sends it: from a thread of its own, waiting until handled.
void Notice(PwHwnd window, int code, intptr_t value) {
  pw::Message message;
  message.code = static_cast<uint32_t>(code);
  message.value = value;
  pw::SendMessage(window, message);
}

struct Seen {
  std::string aboutName, aboutYear;
  bool serviceShown = false, cancelHidden = false;
  int defaultButton = 0;
  std::map<int, bool> enabledAtStart;
  bool upLoadAfterOpen = false, downLoadAfterOpen = true;
  RECT where{};
  std::string statusAt50;
  LRESULT barAt50 = 0;
  int boxDefault = 0;
  bool heldDuringBox = false;
  std::string statusDuringBox, statusAfterBox;
  std::string list;
};

TEST(Win32Dialog, ServesTheRunAcrossThreads) {
  apptest::WorkFolder folder("dialog");
  apptest::FakeLinks links;
  app::CommandLine line;
  line.port = "COM3";
  line.posX = 100;
  line.posY = 200;
  app::DialogSession session(links, line, {true, std::nullopt});
  HWND dialog = session.Dialog();
  const PwHwnd window = session.TheRun().controller().handle();
  ASSERT_TRUE(session.Start());

  Seen seen;
  std::thread script([&] {
    PostMessageA(dialog, WM_SYSCOMMAND, app::kSysCmdAbout, 0);
    if (HWND about = WaitForBox("About PenwickUpload")) {
      seen.aboutName = Text(GetDlgItem(about, IDC_ABOUT_NAME));
      seen.aboutYear = Text(GetDlgItem(about, IDC_ABOUT_YEAR));
      PostMessageA(about, WM_COMMAND, IDOK, 0);
      WaitUntil([about] { return !IsWindow(about); });
    }

    seen.serviceShown = IsWindowVisible(GetDlgItem(dialog, IDC_GROUP_FUNCTIONS)) &&
                        IsWindowVisible(GetDlgItem(dialog, IDC_MESSAGE_LIST));
    seen.cancelHidden = !IsWindowVisible(GetDlgItem(dialog, IDC_CANCEL_HIDDEN));
    seen.defaultButton = LOWORD(SendMessageA(dialog, DM_GETDEFID, 0, 0));
    for (int id = app::kSerialOpen; id <= app::kFileOpen; ++id) {
      if (id != app::kMessageList)
        seen.enabledAtStart[id] = IsWindowEnabled(GetDlgItem(dialog, id));
    }
    GetWindowRect(dialog, &seen.where);

    Click(dialog, app::kSerialOpen);
    WaitUntil([&] { return IsWindowEnabled(GetDlgItem(dialog, app::kUpLoad)) != FALSE; });
    seen.upLoadAfterOpen = IsWindowEnabled(GetDlgItem(dialog, app::kUpLoad));
    seen.downLoadAfterOpen = IsWindowEnabled(GetDlgItem(dialog, app::kDownLoad));
    Click(dialog, app::kUpLoad);
    WaitUntil([&] {
      return Text(GetDlgItem(dialog, IDC_MESSAGE_LIST)).find("OnHvup") != std::string::npos;
    });

    std::thread(Notice, window, NL_NOTIFY_UP_FLASH_PERCENT, 50).join();
    seen.statusAt50 = Text(GetDlgItem(dialog, IDC_STATUS));
    seen.barAt50 = SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_GETPOS, 0, 0);

    // The upload's completion asks whether to reboot the receiver.
    std::thread completion(Notice, window, app::kNoticeSerialUpDone, NL_SERIAL_UP_DONE);
    if (HWND box = WaitForBox("Notice")) {
      for (int button : {IDYES, IDNO}) {
        const LONG style = GetWindowLongA(GetDlgItem(box, button), GWL_STYLE);
        if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) seen.boxDefault = button;
      }
      std::atomic<bool> handled{false};
      std::thread late([&] {
        Notice(window, NL_NOTIFY_UP_EEPROM_PERCENT, 30);
        handled = true;
      });
      Sleep(400);
      seen.heldDuringBox = !handled;
      seen.statusDuringBox = Text(GetDlgItem(dialog, IDC_STATUS));
      // Enter answers with the default button.
      PostMessageA(GetDlgItem(box, seen.boxDefault), WM_KEYDOWN, VK_RETURN, 0);
      late.join();
      seen.statusAfterBox = Text(GetDlgItem(dialog, IDC_STATUS));
    }
    completion.join();
    seen.list = Text(GetDlgItem(dialog, IDC_MESSAGE_LIST));
    // Esc on the dialog's focus: the cancel command, which ends a technician's session.
    PostMessageA(GetDlgItem(dialog, IDC_EXIT), WM_KEYDOWN, VK_ESCAPE, 0);
  });
  const int status = session.Loop();
  script.join();

  EXPECT_EQ(status, 0);
  EXPECT_EQ(seen.aboutName, "PenwickUpload Version " PENWICK_VERSION);
  EXPECT_EQ(seen.aboutYear.find("Copyright"), 0u);
  EXPECT_TRUE(seen.serviceShown);
  EXPECT_TRUE(seen.cancelHidden);
  EXPECT_EQ(seen.defaultButton, app::kCmdOk);
  for (const auto& [id, enabled] : seen.enabledAtStart) {
    const bool expected = id == app::kSerialOpen || id == app::kSerialClose || id == app::kFileOpen;
    EXPECT_EQ(enabled, expected) << "control " << id;
  }
  EXPECT_EQ(seen.where.left, 100);
  EXPECT_EQ(seen.where.top, 200);
  EXPECT_TRUE(seen.upLoadAfterOpen);
  EXPECT_FALSE(seen.downLoadAfterOpen);
  EXPECT_EQ(seen.statusAt50, app::ProgressStatusText(ProgressKind::UploadFlash, 50));
  EXPECT_EQ(seen.barAt50, 50);
  EXPECT_EQ(seen.boxDefault, IDYES);
  EXPECT_TRUE(seen.heldDuringBox);
  EXPECT_EQ(seen.statusDuringBox, seen.statusAt50);
  EXPECT_EQ(seen.statusAfterBox, app::ProgressStatusText(ProgressKind::UploadEeprom, 30));
  // The held notice was handled after the entry that came before the box.
  const size_t success = seen.list.find("Serial Upload Success!");
  const size_t eeprom = seen.list.find("UpLoad EEPROM 30%");
  EXPECT_NE(success, std::string::npos);
  EXPECT_NE(eeprom, std::string::npos);
  EXPECT_LT(success, eeprom);
  EXPECT_EQ(links.Count("AutoReboot"), 2u);  // the upload's start, then the answer Yes
}

}  // namespace
