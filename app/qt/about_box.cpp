#include "about_box.h"

#include <QLabel>
#include <QPushButton>

#include "dialog_units.h"

namespace app {

AboutBox::AboutBox(QWidget* owner) : QDialog(owner) {
  setWindowTitle("About PenwickUpload");
  setObjectName("aboutBox");
  const DialogUnits du(fontMetrics());
  setFixedSize(du.Size(235, 55));
  auto* icon = new QLabel(this);
  icon->setPixmap(windowIcon().pixmap(32, 32));
  icon->setGeometry(du.Rect(11, 17, 21, 20));
  auto* name = new QLabel("PenwickUpload Version " PENWICK_VERSION, this);
  name->setObjectName("aboutName");
  name->setGeometry(du.Rect(40, 10, 119, 8));
  auto* year = new QLabel("Copyright (C) " PENWICK_YEAR, this);
  year->setObjectName("aboutYear");
  year->setGeometry(du.Rect(40, 25, 119, 8));
  auto* ok = new QPushButton("OK", this);
  ok->setGeometry(du.Rect(178, 7, 50, 14));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace app
