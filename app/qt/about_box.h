// The about box: the program icon, its name with the version, a year, and OK.
#pragma once

#include <QDialog>

namespace app {

class AboutBox : public QDialog {
 public:
  explicit AboutBox(QWidget* owner);
};

}  // namespace app
