// The main window on the offscreen platform over the real controller with scripted
// libraries: its initial look, download progress from a worker's notices (the worker blocked
// until each was handled), screenshots at 0, 50 and 100 %, closing after success, failure and
// cancel with the exit status, Esc and Enter, the start-ups that arm nothing, and About.
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <atomic>

#include "NorraLink.h"
#include "control_ids.h"
#include "penwick/console_kit/exit_codes.hpp"
#include "service_panel.h"
#include "window_fixture.h"

namespace apptest {
namespace {

using app::RunPhase;

// Columns of the bar whose middle pixel is nearer the highlight colour than the groove's.
int FilledColumns(const QImage& shot, const QRect& bar, const QColor& highlight,
                  const QColor& groove) {
  const auto distance = [](QColor a, QColor b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
           std::abs(a.blue() - b.blue());
  };
  int filled = 0;
  const int y = bar.center().y();
  for (int x = bar.left() + 2; x <= bar.right() - 2; ++x) {
    const QColor pixel = shot.pixelColor(x, y);
    if (distance(pixel, highlight) < distance(pixel, groove)) ++filled;
  }
  return filled;
}

// Pixels of the status text's area drawn in (nearly) the text colour.
int TextPixels(const QImage& shot, const QRect& area, const QColor& text) {
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      const QColor pixel = shot.pixelColor(x, y);
      if (std::abs(pixel.lightness() - text.lightness()) < 60) ++count;
    }
  }
  return count;
}

TEST_F(WindowTest, InitialLookProgressFromAWorkerAndCloseAfterSuccess) {
  WriteTransferFile();
  auto& s = StartWindow({"-fsettings.dat", "-pCOM0", "-x120", "-y80"});
  app::MainWindow& w = s.Window();
  ASSERT_TRUE(w.isVisible());
  EXPECT_EQ(w.windowTitle(), "PenwickUpload");
  EXPECT_EQ(w.pos(), QPoint(120, 80));
  EXPECT_EQ(w.minimumSize(), w.maximumSize());  // a fixed frame
  EXPECT_EQ(w.StatusText()->text(), "Please reboot your receiver");
  EXPECT_EQ(w.ProgressBar()->minimum(), 0);
  EXPECT_EQ(w.ProgressBar()->maximum(), 100);
  EXPECT_EQ(w.ProgressBar()->value(), 0);
  EXPECT_TRUE(w.ExitButton()->isVisible() && w.ExitButton()->isEnabled());
  EXPECT_TRUE(w.ExitButton()->isDefault());
  EXPECT_FALSE(w.Panel()->isVisible());
  EXPECT_FALSE(w.Button(app::kCmdCancel)->isVisible());
  // Hidden, and enabled as start-up and the loaded file leave them.
  for (int id : {app::kDownLoad, app::kUpLoad, app::kGetPackedFlashData, app::kGetEepromData,
                 app::kPackFlash}) {
    EXPECT_FALSE(w.Button(id)->isEnabled()) << id;
  }
  for (int id : {app::kUnpackFlash, app::kViewModelId, app::kViewSystemId, app::kSerialOpen,
                 app::kSerialClose, app::kFileOpen}) {
    EXPECT_TRUE(w.Button(id)->isEnabled()) << id;
    EXPECT_FALSE(w.Button(id)->isVisible()) << id;
  }
  ASSERT_EQ(s.Controller().phase(), RunPhase::Armed);

  // The receiver arrives (the driver posts from its own thread): the download starts.
  std::thread([&] {
    pw::Message arrival;
    arrival.kind = pw::MessageKind::DeviceChange;
    arrival.event = pw::kDeviceArrival;
    arrival.devicePath = "usbip:127.0.0.1:3240/1-1";
    pw::PostMessage(s.Controller().handle(), arrival);
  }).join();
  ASSERT_TRUE(RunUntil([&] { return links.Count("UsbDown") == 1; }));

  // Each progress notice is shown while its worker still waits in its send.
  std::atomic<bool> workerReturned{false};
  bool shownWhileWaiting = true;
  QObject::connect(w.ProgressBar(), &QProgressBar::valueChanged,
                   [&] { shownWhileWaiting = shownWhileWaiting && !workerReturned.load(); });
  const QRect bar = w.ProgressBar()->geometry();
  const QRect text = w.StatusText()->geometry();
  const QColor highlight = w.ProgressBar()->palette().color(QPalette::Highlight);
  const QColor groove = Screenshot(w, "window-armed").pixelColor(bar.center());
  const QColor ink = w.StatusText()->palette().color(QPalette::WindowText);
  std::vector<int> filled;
  std::vector<QImage> texts;
  for (int percent : {0, 50, 100}) {
    workerReturned = false;
    NoticeFromWorker(NL_NOTIFY_DOWN_PERCENT, percent);
    workerReturned = true;
    EXPECT_EQ(w.ProgressBar()->value(), percent);
    EXPECT_EQ(w.StatusText()->text().toStdString(), "Writing " + std::to_string(percent) + "%");
    const QImage shot = Screenshot(w, "window-" + std::to_string(percent));
    filled.push_back(FilledColumns(shot, bar, highlight, groove));
    texts.push_back(shot.copy(text));
    EXPECT_GT(TextPixels(shot, text, ink), 40) << percent;  // the status text is drawn
  }
  EXPECT_TRUE(shownWhileWaiting);
  const int width = bar.width() - 4;
  EXPECT_LE(filled[0], 2);
  EXPECT_GT(filled[1], width / 3);
  EXPECT_LT(filled[1], 2 * width / 3);
  EXPECT_GE(filled[2], width * 9 / 10);
  EXPECT_NE(texts[0], texts[1]);  // "Writing 0%" and "Writing 50%" look different

  NoticeFromWorker(app::kNoticeUsbDownDone, NL_USB_DOWN_DONE);
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(w.result(), QDialog::Accepted);
  EXPECT_EQ(s.ExitStatus(), pw::cli::kExitOk);
  EXPECT_EQ(links.Count("AutoReboot"), 1u);
}

// The visible box that nobody waits for (the window's note) with exactly this text.
QMessageBox* NoteBox(const std::string& text) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (box != nullptr && box->isVisible() && box->text().toStdString() == text &&
        box->windowModality() == Qt::NonModal) {
      return box;
    }
  }
  return nullptr;
}

// While a USB transfer waits for its receiver, what the driver has to say (no receiver
// configured, then a receiver that cannot be opened) is shown beside the window, which keeps
// waiting; the newer note replaces the older; once the transfer runs the driver is not asked.
TEST_F(WindowTest, TheUsbDriversNotesAreShownWhileTheWindowWaits) {
  WriteTransferFile();
  const std::string settings = "No USB receiver is configured: set PENWICK_USB_IDS.";
  links.usbNote = settings;
  auto& s = StartWindow({"-fsettings.dat", "-pCOM0"});
  QMessageBox* first = NoteBox(settings);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->parent(), &s.Window());
  EXPECT_EQ(first->windowTitle(), "PenwickUpload");
  EXPECT_EQ(s.Controller().phase(), RunPhase::Armed);
  EXPECT_EQ(s.Window().StatusText()->text(), "Please reboot your receiver");

  const std::string refused = settings + "\nThe receiver cannot be opened: permission denied.";
  links.usbNote = refused;
  ASSERT_TRUE(RunUntil([&] { return NoteBox(refused) != nullptr; }));
  EXPECT_EQ(NoteBox(settings), nullptr);

  Arrive();
  ASSERT_EQ(s.Controller().phase(), RunPhase::Running);
  const int asks = links.usbNoteAsks;
  QTest::qWait(1500);  // more than one look of the waiting window
  EXPECT_EQ(links.usbNoteAsks, asks);
  NoticeFromWorker(app::kNoticeUsbDownDone, NL_USB_DOWN_DONE);
  EXPECT_EQ(s.ExitStatus(), pw::cli::kExitOk);
}

// A failed USB run keeps the window open with its closing words drawn as the status text, and
// Esc then ends with the failure's code; Esc while armed, and Enter while a USB session runs
// (the session is cancelled, the status says so, and the window waits for its completion
// notice), each close with their own status; --timeout closes the window.
TEST_F(WindowTest, CloseAfterFailureEscEnterAndTimeout) {
  WriteTransferFile();
  auto arrive = [&] {
    Arrive();
    ASSERT_EQ(session->Controller().phase(), RunPhase::Running);
  };

  StartWindow({"-fsettings.dat", "-pCOM0"});
  arrive();
  EXPECT_EQ(session->Window().StatusText()->text(), "Writing the settings into the receiver");
  NoticeFromWorker(app::kNoticeUsbDownDone, 260);
  app::MainWindow& w = session->Window();
  ASSERT_TRUE(
      RunUntil([&] { return w.StatusText()->text().startsWith("The USB download failed"); }));
  ASSERT_TRUE(w.isVisible());
  EXPECT_TRUE(w.StatusText()->text().contains("To go on: check the cable"));
  const QImage shot = Screenshot(w, "window-failed");
  EXPECT_GT(TextPixels(shot, w.StatusText()->geometry(),
                       w.StatusText()->palette().color(QPalette::WindowText)),
            200);
  QTest::keyClick(&w, Qt::Key_Escape);
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(session->ExitStatus(), pw::cli::kExitTransferFailed);

  StartWindow({"-fsettings.dat", "-pCOM0"});
  QTest::keyClick(&session->Window(), Qt::Key_Escape);
  EXPECT_FALSE(session->Window().isVisible());
  EXPECT_EQ(session->Window().result(), QDialog::Rejected);
  EXPECT_EQ(session->ExitStatus(), pw::cli::kExitCancelled);

  StartWindow({"-fsettings.dat", "-pCOM0"});
  arrive();
  const size_t cancels = links.Count("CancelUsbFunc");
  QTest::keyClick(&session->Window(), Qt::Key_Return);
  EXPECT_EQ(links.Count("CancelUsbFunc"), cancels + 1);
  EXPECT_TRUE(session->Window().isVisible());  // until the session has ended
  EXPECT_TRUE(session->Window().StatusText()->text().startsWith("Cancelling"));
  NoticeFromWorker(app::kNoticeUsbDownDone, 260);
  EXPECT_FALSE(session->Window().isVisible());
  EXPECT_EQ(session->ExitStatus(), pw::cli::kExitCancelled);

  StartWindow({"-fsettings.dat", "-pCOM0"}, false, 0.2);
  ASSERT_TRUE(RunUntil([&] { return !session->Window().isVisible(); }));
  EXPECT_EQ(session->ExitStatus(), pw::cli::kExitTimedOut);
}

// Start-ups that arm nothing keep the window open and say why; Exit ends with their code,
// except a technician's session (--service without a file), which ends with 0.
TEST_F(WindowTest, StartUpsThatArmNothing) {
  StartWindow({"-pCOM0"});
  EXPECT_TRUE(session->Window().isVisible());
  EXPECT_TRUE(session->Window().StatusText()->text().startsWith("No transfer file was given."));
  Click(app::kCmdOk);
  EXPECT_FALSE(session->Window().isVisible());
  EXPECT_EQ(session->ExitStatus(), pw::cli::kExitNoTransferFile);

  WriteTransferFile();
  links.initUsbResult = 0;
  StartWindow({"-fsettings.dat", "-pCOM0"});
  EXPECT_TRUE(session->Window().StatusText()->text().startsWith(
      "The USB functions could not be initialised."));
  Click(app::kCmdOk);
  EXPECT_EQ(session->ExitStatus(), pw::cli::kExitUsbUnavailable);

  StartWindow({}, true);
  EXPECT_TRUE(session->Window().Panel()->isVisible());
  EXPECT_EQ(session->Window().StatusText()->text(), "Please reboot your receiver");
  QTest::keyClick(&session->Window(), Qt::Key_Escape);
  EXPECT_FALSE(session->Window().isVisible());
  EXPECT_EQ(session->ExitStatus(), pw::cli::kExitOk);
}

// An error notice's box is owned by the window, with its caption, text, OK alone and no icon;
// About opens from F1 and from the context menu.
TEST_F(WindowTest, ErrorBoxAndAbout) {
  WriteTransferFile();
  StartWindow({"-fsettings.dat", "-pCOM0"});
  QString caption, text;
  QMessageBox::Icon icon = QMessageBox::Warning;
  QList<QAbstractButton*> buttons;
  QWidget* owner = nullptr;
  NextModal box([&](QWidget* modal) {
    auto* messageBox = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(messageBox, nullptr);
    caption = messageBox->windowTitle();
    text = messageBox->text();
    icon = messageBox->icon();
    buttons = messageBox->buttons();
    owner = messageBox->parentWidget();
    messageBox->button(QMessageBox::Ok)->click();
  });
  NoticeFromWorker(NL_NOTIFY_BAD_PACKED_DATA);
  ASSERT_TRUE(box.Done());
  EXPECT_EQ(caption, "ERROR");
  EXPECT_EQ(text, "ERROR : Not match packed CRC or invalid data!!");
  EXPECT_EQ(icon, QMessageBox::NoIcon);
  EXPECT_EQ(buttons.size(), 1);
  EXPECT_EQ(owner, &session->Window());
  EXPECT_TRUE(session->Window().isVisible());  // nothing else changes

  QString name, year;
  const auto readAbout = [&](QWidget* modal) {
    EXPECT_EQ(modal->objectName(), "aboutBox");
    name = modal->findChild<QLabel*>("aboutName")->text();
    year = modal->findChild<QLabel*>("aboutYear")->text();
    QTest::keyClick(modal, Qt::Key_Return);  // OK is its default button
  };
  NextModal about(readAbout);
  session->Window().activateWindow();  // a shortcut reaches the active window
  ASSERT_TRUE(QTest::qWaitForWindowActive(&session->Window()));
  QTest::keyClick(&session->Window(), Qt::Key_F1);
  ASSERT_TRUE(about.Done());
  EXPECT_TRUE(name.startsWith("PenwickUpload Version ")) << name.toStdString();
  EXPECT_TRUE(year.contains(QRegularExpression("\\b20[0-9][0-9]\\b"))) << year.toStdString();

  EXPECT_EQ(session->Window().contextMenuPolicy(), Qt::ActionsContextMenu);
  auto* action = session->Window().findChild<QAction*>("aboutAction");
  ASSERT_TRUE(session->Window().actions().contains(action));
  name.clear();
  NextModal again(readAbout);
  action->trigger();
  EXPECT_TRUE(again.Done());
  EXPECT_FALSE(name.isEmpty());
  EXPECT_TRUE(session->Window().isVisible());
}

}  // namespace
}  // namespace apptest

int main(int argc, char** argv) {
  // Tests see no display: the offscreen platform, and no desktop theme.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qunsetenv("QT_QPA_PLATFORMTHEME");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
