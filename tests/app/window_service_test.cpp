// The service panel (--service): each button reaches its controller command, the Yes/No box
// after a serial upload, File Open through a file dialog driven by the test, the message list
// scrolled to its last entries, and a screenshot of the panel.
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

#include "NorraLink.h"
#include "control_ids.h"
#include "penwick/console_kit/exit_codes.hpp"
#include "service_panel.h"
#include "window_fixture.h"

namespace apptest {
namespace {

TEST_F(WindowTest, ServicePanelButtonsReachTheirCommands) {
  images = MakeImages(9, 0x1234);
  auto& s = StartWindow({}, true);
  app::MainWindow& w = s.Window();
  QPlainTextEdit* list = w.Panel()->MessageList();
  ASSERT_TRUE(w.Panel()->isVisible());
  EXPECT_TRUE(list->isReadOnly());
  const auto listed = [&](const std::string& entry) {
    return list->toPlainText().split('\n').contains(QString::fromStdString(entry));
  };

  Click(app::kSerialOpen);
  EXPECT_TRUE(listed("OnSerialOpen() : Open Success"));
  Click(app::kSerialClose);
  EXPECT_EQ(links.Count("CloseSerialPort"), 1u);
  EXPECT_TRUE(listed("OnSerialClose() : Port Close "));
  Click(app::kSerialOpen);
  EXPECT_EQ(links.Count("OpenSerialPort"), 2u);
  EXPECT_TRUE(w.Button(app::kUpLoad)->isEnabled());
  EXPECT_FALSE(w.Button(app::kDownLoad)->isEnabled());

  Click(app::kUpLoad);
  ASSERT_EQ(links.Count("SerialUp"), 1u);
  // What the upload brought into the library's stores.
  Dll_PutPackedFlashData(images.packed.data());
  Dll_PutEepromData(images.eeprom.data());
  const size_t reboots = links.Count("AutoReboot");
  QMessageBox* question = nullptr;
  QString caption, text;
  NextModal answer([&](QWidget* modal) {
    question = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(question, nullptr);
    caption = question->windowTitle();
    text = question->text();
    EXPECT_EQ(question->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(question->defaultButton(), question->button(QMessageBox::Yes));
    question->button(QMessageBox::No)->click();
  });
  NoticeFromWorker(app::kNoticeSerialUpDone, NL_SERIAL_UP_DONE);
  ASSERT_TRUE(answer.Done());
  EXPECT_EQ(caption, "Notice");
  EXPECT_EQ(text, "Serial Upload Success, Reboot Settop Box");
  EXPECT_EQ(links.Count("AutoReboot"), reboots);  // No: no reboot request
  EXPECT_EQ(links.Count("CloseSerialPort"), 2u);
  for (int id : {app::kGetPackedFlashData, app::kGetEepromData, app::kUnpackFlash,
                 app::kViewModelId, app::kViewSystemId}) {
    EXPECT_TRUE(w.Button(id)->isEnabled()) << id;
  }

  Click(app::kGetPackedFlashData);
  EXPECT_EQ(ReadAll(dir / "~Dll2Pack_PackedFlashData.pak"), images.packed);
  Click(app::kGetEepromData);
  EXPECT_EQ(ReadAll(dir / "~EepromData.bin"), images.eeprom);
  Click(app::kUnpackFlash);
  EXPECT_EQ(ReadAll(dir / "~Pack2UnPack_UnPackedFlashData.upk"), images.region);
  ASSERT_TRUE(w.Button(app::kPackFlash)->isEnabled());
  Click(app::kPackFlash);
  EXPECT_TRUE(listed("PackedFlash File Save Success"));
  EXPECT_EQ(ReadAll(dir / "~UnPack2Pack_PackedFlashData.pak").size(), codec::kContainerSize);
  Click(app::kViewModelId);
  EXPECT_TRUE(list->toPlainText().contains("ViewModelId() SystemId "));
  Click(app::kViewSystemId);
  EXPECT_TRUE(list->toPlainText().contains("System ID From STB: "));

  // File Open: the dialog starts in the initial folder with the packed-file filters.
  WriteAll(dir / "other.pak", images.packed);
  QStringList filters;
  QString folder;
  NextModal choose([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    filters = dialog->nameFilters();
    folder = dialog->directory().absolutePath();
    dialog->selectFile(QString::fromStdString((dir / "other.pak").string()));
    QMetaObject::invokeMethod(dialog, "accept");  // as the Open button does
  });
  Click(app::kFileOpen);
  ASSERT_TRUE(choose.Done());
  EXPECT_EQ(filters, (QStringList{"Packed Files (*.pak)", "All Files (*)"}));
  EXPECT_EQ(folder.toStdString(), std::filesystem::canonical(dir).string());
  EXPECT_TRUE(listed("Packed File Open Success"));
  Click(app::kViewSystemId);
  EXPECT_TRUE(listed("System ID from PackedFlash Data: 4660"));

  // The list shows its last entries.
  const QScrollBar* bar = list->verticalScrollBar();
  const int lines = list->document()->blockCount();
  ASSERT_GT(lines, 10);
  EXPECT_EQ(bar->value(), lines - 10);
  EXPECT_EQ(bar->value(), bar->maximum());
  Screenshot(w, "service-panel");

  // A serial download from the panel that completes closes the window with success.
  Click(app::kSerialOpen);
  ASSERT_TRUE(w.Button(app::kDownLoad)->isEnabled());
  Click(app::kDownLoad);
  ASSERT_EQ(links.Count("SerialDown"), 1u);
  NoticeFromWorker(app::kNoticeSerialDownDone, NL_SERIAL_DOWN_DONE);
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(s.ExitStatus(), pw::cli::kExitOk);
}

}  // namespace
}  // namespace apptest
