#include "message_boxes.h"

#include <QPushButton>
#include <algorithm>
#include <vector>

#include "penwick/message_box.hpp"

namespace app {
namespace {

// The Qt button that shows an answer.
QMessageBox::StandardButton StandardButtonOf(int answer) {
  switch (answer) {
    case pw::kIdCancel:
      return QMessageBox::Cancel;
    case pw::kIdRetry:
      return QMessageBox::Retry;
    case pw::kIdYes:
      return QMessageBox::Yes;
    case pw::kIdNo:
      return QMessageBox::No;
    default:
      return QMessageBox::Ok;
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
  for (int answer : pw::ButtonsOf(type)) {
    QPushButton* button = box->addButton(StandardButtonOf(answer));
    if (answer == fallback) box->setDefaultButton(button);
  }
  return box;
}

int AnswerOf(QMessageBox::StandardButton pressed, unsigned type) {
  const std::vector<int> answers = pw::ButtonsOf(type);
  for (int answer : answers) {
    if (StandardButtonOf(answer) == pressed) return answer;
  }
  for (int fallback : {pw::kIdCancel, pw::kIdNo}) {
    if (std::find(answers.begin(), answers.end(), fallback) != answers.end()) return fallback;
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
