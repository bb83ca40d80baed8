// Dialog units: a layout measured in the dialog font's average character width (a quarter of
// it across) and height (an eighth of it down), so proportions hold whatever the font.
#pragma once

#include <QFontMetrics>
#include <QRect>

namespace app {

class DialogUnits {
 public:
  explicit DialogUnits(const QFontMetrics& metrics)
      : charWidth_(metrics.averageCharWidth()), charHeight_(metrics.height()) {}

  int X(int units) const { return (units * charWidth_ + 2) / 4; }
  int Y(int units) const { return (units * charHeight_ + 4) / 8; }
  QRect Rect(int left, int top, int width, int height) const {
    return {X(left), Y(top), X(width), Y(height)};
  }
  QSize Size(int width, int height) const { return {X(width), Y(height)}; }

 private:
  int charWidth_;
  int charHeight_;
};

}  // namespace app
