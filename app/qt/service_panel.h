// The service panel: the serial buttons, the four numbered function buttons, the view and
// open buttons, and the message list. Its buttons carry the controller's command ids; the
// panel is created with the window and shown only for a technician (--service).
#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <string>

class QPlainTextEdit;
class QPushButton;

namespace app {

class ServicePanel : public QWidget {
 public:
  // `command` gets the id of a pressed button.
  ServicePanel(QWidget* parent, std::function<void(int id)> command);

  // The panel's button for a control id, or null.
  QPushButton* Button(int id) const;
  QPlainTextEdit* MessageList() const { return list_; }
  // The message list's whole text ("\r\n" between entries), scrolled down by `scrollBy` lines
  // from its top.
  void ShowMessages(const std::string& allText, int scrollBy);

 private:
  std::map<int, QPushButton*> buttons_;
  QPlainTextEdit* list_ = nullptr;
};

}  // namespace app
