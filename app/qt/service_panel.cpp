#include "service_panel.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "control_ids.h"
#include "dialog_units.h"

namespace app {
namespace {

constexpr int kListRows = 10;

struct Place {
  int id;
  const char* caption;
  int row;
  int column;
};

}  // namespace

ServicePanel::ServicePanel(QWidget* parent, std::function<void(int)> command) : QWidget(parent) {
  setObjectName("servicePanel");
  const DialogUnits du(fontMetrics());
  auto* groups = new QHBoxLayout;
  const auto group = [&](const char* title, std::initializer_list<Place> places) {
    auto* box = new QGroupBox(title, this);
    auto* grid = new QGridLayout(box);
    for (const Place& place : places) {
      auto* button = new QPushButton(place.caption, box);
      button->setObjectName(QString("button%1").arg(place.id));
      button->setMinimumSize(du.Size(60, 20));
      grid->addWidget(button, place.row, place.column);
      buttons_[place.id] = button;
      connect(button, &QPushButton::clicked, this, [command, id = place.id] { command(id); });
    }
    groups->addWidget(box);
  };
  group("Serial Communication", {{kSerialOpen, "Serial Open", 0, 0},
                                 {kDownLoad, "DownLoad", 0, 1},
                                 {kSerialClose, "Serial Close", 1, 0},
                                 {kUpLoad, "UpLoad", 1, 1}});
  group("Functions", {{kGetPackedFlashData, "1.Get Packed Flash Data", 0, 0},
                      {kGetEepromData, "2.Get Eeprom Data", 0, 1},
                      {kUnpackFlash, "3.Unpack Flash", 1, 0},
                      {kPackFlash, "4.Pack Flash", 1, 1}});
  group("Etc", {{kViewModelId, "View ModelId", 0, 0},
                {kViewSystemId, "View SystemId", 1, 0},
                {kFileOpen, "File Open", 2, 0}});

  list_ = new QPlainTextEdit(this);
  list_->setObjectName("messageList");
  list_->setReadOnly(true);
  list_->setLineWrapMode(QPlainTextEdit::NoWrap);
  list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Room for kListRows lines and half of one more, so rounding never hides the tenth.
  const int line = list_->fontMetrics().lineSpacing();
  const int rows = kListRows * line + line / 2;
  const int chrome = 2 * list_->frameWidth() + list_->horizontalScrollBar()->sizeHint().height() +
                     static_cast<int>(2 * list_->document()->documentMargin());
  list_->setFixedHeight(rows + chrome);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(groups);
  layout->addWidget(list_);
}

QPushButton* ServicePanel::Button(int id) const {
  const auto found = buttons_.find(id);
  return found == buttons_.end() ? nullptr : found->second;
}

void ServicePanel::ShowMessages(const std::string& allText, int scrollBy) {
  QString text = QString::fromStdString(allText);
  text.replace("\r\n", "\n");
  list_->setPlainText(text);
  list_->verticalScrollBar()->setValue(scrollBy);
}

}  // namespace app
