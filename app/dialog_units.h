// Dialog units: places in the window tables are given in units of the dialog
// font, a quarter of its average letter width across and an eighth of its
// height down, so the window scales with the font.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

#include "app/dialog_template.h"

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);

  QRect ToPixels(const ctl::Place& place) const;
  QSize SizeToPixels(int width, int height) const;

 private:
  double m_perX;
  double m_perY;
};

// The dialog font: the system's sans-serif at 8 points.
QFont DialogFont();
