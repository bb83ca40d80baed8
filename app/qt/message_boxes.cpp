#include "message_boxes.h"

#include <vector>

#include "penwick/message_box.hpp"

namespace app {
namespace {

struct Button {
  QMessageBox::StandardButton qt;
  int answer;
};

std::vector<Button> Buttons(unsigned type) {
  switch (type & 0xF) {
    case pw::kMbOkCancel:
      return {{QMessageBox::Ok, pw::kIdOk}, {QMessageBox::Cancel, pw::kIdCancel}};
    case pw::kMbYesNoCancel:
      return {{QMessageBox::Yes, pw::kIdYes},
              {QMessageBox::No, pw::kIdNo},
              {QMessageBox::Cancel, pw::kIdCancel}};
    case pw::kMbYesNo:
      return {{QMessageBox::Yes, pw::kIdYes}, {QMessageBox::No, pw::kIdNo}};
    case pw::kMbRetryCancel:
      return {{QMessageBox::Retry, pw::kIdRetry}, {QMessageBox::Cancel, pw::kIdCancel}};
    default:
      return {{QMessageBox::Ok, pw::kIdOk}};
  }
}

QMessageBox::Icon IconOf(unsigned type) {
  switch (type & 0xF0) {
    case pw::kMbIconError:
      return QMessageBox::Critical;
    case pw::kMbIconQuestion:
      return QMessageBox::Question;
    case pw::kMbIconWarning:
      return QMessageBox::Warning;
    case pw::kMbIconInformation:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

}  // namespace

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, const std::string& text,
                                            const std::string& caption, unsigned type) {
  auto box = std::make_unique<QMessageBox>(owner);
  box->setWindowTitle(QString::fromStdString(caption));
  box->setText(QString::fromStdString(text));
  box->setTextFormat(Qt::PlainText);
  box->setIcon(IconOf(type));
  box->setWindowModality(owner != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
  const int fallback = pw::DefaultButton(type);
  for (const Button& button : Buttons(type)) {
    box->addButton(button.qt);
    if (button.answer == fallback) box->setDefaultButton(button.qt);
  }
  return box;
}

int AnswerOf(QMessageBox::StandardButton pressed, unsigned type) {
  const std::vector<Button> buttons = Buttons(type);
  for (const Button& button : buttons) {
    if (button.qt == pressed) return button.answer;
  }
  for (int fallback : {pw::kIdCancel, pw::kIdNo}) {
    for (const Button& button : buttons) {
      if (button.answer == fallback) return fallback;
    }
  }
  return pw::kIdOk;
}

QMessageBox* ShowMessageBoxWithoutWaiting(QWidget* owner, const std::string& text,
                                          const std::string& caption, unsigned type) {
  auto box = MakeMessageBox(owner, text, caption, type);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::NonModal);
  QMessageBox* shown = box.release();
  shown->show();
  return shown;
}

int AskWithMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                      unsigned type) {
  const auto box = MakeMessageBox(owner, text, caption, type);
  box->exec();
  return AnswerOf(box->standardButton(box->clickedButton()), type);
}

}  // namespace app
