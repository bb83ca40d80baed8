#include "main_window.h"

#include <QAction>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>

#include "about_box.h"
#include "control_ids.h"
#include "dialog_units.h"
#include "message_boxes.h"
#include "penwick/message_box.hpp"
#include "service_panel.h"

namespace app {

namespace {
constexpr double kSmallestStatusPoints = 6.0;
}  // namespace

MainWindow::MainWindow(bool showServicePanel, std::function<void(int)> command)
    : command_(std::move(command)) {
  setObjectName("mainWindow");
  setWindowTitle("PenwickUpload");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  const DialogUnits du(fontMetrics());

  // The operator's part, 188 x 85 units: status text at 7,7 (174 x 28), the bar at 7,39
  // (174 x 9), Exit at 7,57 (174 x 21).
  status_ = new QLabel(kRebootStatus, this);
  status_->setObjectName("statusText");
  status_->setWordWrap(true);
  status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  status_->setMinimumWidth(du.X(174));
  status_->setFixedHeight(du.Y(28));
  progress_ = new QProgressBar(this);
  progress_->setObjectName("progressBar");
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  progress_->setFixedHeight(du.Y(9));
  exit_ = new QPushButton("Exit", this);
  exit_->setObjectName("exitButton");
  exit_->setDefault(true);
  exit_->setFixedHeight(du.Y(21));
  connect(exit_, &QPushButton::clicked, this, [this] { command_(kCmdOk); });
  cancel_ = new QPushButton("Cancel", this);
  cancel_->setObjectName("cancelButton");
  cancel_->hide();
  connect(cancel_, &QPushButton::clicked, this, [this] { command_(kCmdCancel); });

  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->setContentsMargins(du.X(7), du.Y(7), du.X(7), du.Y(7));
  layout->setSpacing(0);
  layout->addWidget(status_);
  layout->addSpacing(du.Y(4));
  layout->addWidget(progress_);
  layout->addSpacing(du.Y(9));
  layout->addWidget(exit_);
  panel_ = new ServicePanel(this, [this](int id) { command_(id); });
  if (showServicePanel) {
    layout->addSpacing(du.Y(7));
    layout->addWidget(panel_);
  } else {
    panel_->hide();
  }

  // Linux window managers offer no menu of the application's own on the title bar: About is
  // on the window's context menu and on F1.
  auto* about = new QAction("About PenwickUpload...", this);
  about->setObjectName("aboutAction");
  about->setShortcut(QKeySequence(Qt::Key_F1));
  connect(about, &QAction::triggered, this, &MainWindow::ShowAbout);
  addAction(about);
  setContextMenuPolicy(Qt::ActionsContextMenu);
}

void MainWindow::ShowAbout() {
  AboutBox box(this);
  box.exec();
}

QPushButton* MainWindow::Button(int id) const {
  if (id == kCmdOk) return exit_;
  if (id == kCmdCancel) return cancel_;
  return panel_->Button(id);
}

void MainWindow::AppendMessage(const std::string&, EntryKind, const std::string& allText,
                               int scrollBy) {
  panel_->ShowMessages(allText, scrollBy);
}

void MainWindow::SetStatusText(const std::string& text) {
  // A long text (why a run failed, and what to try) gets a smaller font rather than being
  // cut off: the status area has a fixed size. The whole text is also its tool tip.
  const QString shown = QString::fromStdString(text);
  QFont font = this->font();
  const QRect area(0, 0, status_->width() > 0 ? status_->width() : status_->minimumWidth(),
                   status_->height());
  while (font.pointSizeF() > kSmallestStatusPoints &&
         QFontMetrics(font).boundingRect(area, Qt::TextWordWrap, shown).height() > area.height()) {
    font.setPointSizeF(font.pointSizeF() - 0.5);
  }
  status_->setFont(font);
  status_->setText(shown);
  status_->setToolTip(shown);
}

void MainWindow::SetProgress(int percent, ProgressKind) {
  progress_->setValue(percent);
}

void MainWindow::EnableControl(int controlId, bool enable) {
  if (QPushButton* button = Button(controlId)) button->setEnabled(enable);
}

int MainWindow::MessageBox(const std::string& text, const std::string& caption, unsigned type) {
  if (answerAlone_) {
    const int answer = pw::DefaultButton(type);
    std::fprintf(stderr, "[%s] %s (answered with the default button)\n", caption.c_str(),
                 text.c_str());
    return answer;
  }
  return AskWithMessageBox(this, text, caption, type);
}

void MainWindow::ShowNote(const std::string& text) {
  if (text.empty() || text == noteText_) return;
  noteText_ = text;
  if (answerAlone_) {
    std::fprintf(stderr, "PenwickUpload: %s\n", text.c_str());
    return;
  }
  if (note_) note_->close();  // the newer note replaces the one still open
  note_ =
      ShowMessageBoxWithoutWaiting(this, text, "PenwickUpload", pw::kMbOk | pw::kMbIconInformation);
}

void MainWindow::Move(int x, int y) {
  move(x, y);
}

void MainWindow::Close(DialogResult result) {
  closing_ = true;
  done(result == DialogResult::Ok ? QDialog::Accepted : QDialog::Rejected);
}

void MainWindow::reject() {
  if (closing_) {
    QDialog::reject();
    return;
  }
  command_(kCmdCancel);
}

std::optional<std::string> MainWindow::ChooseFileToOpen(const std::string& initialFolder,
                                                        const std::string& filter) {
  if (answerAlone_) {
    std::fprintf(stderr, "[File Open] nobody can choose a file here: cancelled\n");
    return std::nullopt;
  }
  QFileDialog dialog(this, "Open", QString::fromStdString(initialFolder));
  dialog.setObjectName("fileOpenDialog");
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setNameFilters(NameFilters(filter));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front().toStdString();
}

QStringList NameFilters(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split('|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty()) break;
    QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
    for (QString& pattern : patterns) {
      if (pattern == "*.*") pattern = "*";
    }
    QString description = parts[i];
    if (const qsizetype open = description.lastIndexOf(" ("); open > 0) {
      description.truncate(open);
    }
    filters << description + " (" + patterns.join(' ') + ")";
  }
  return filters;
}

}  // namespace app
