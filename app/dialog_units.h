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

// The dialog font, 8 points, each system's own choice of face: the desktop's
// interface font on Linux (dialog_font.cpp), "MS Sans Serif" on Windows
// (dialog_font_windows.cpp). The window's layout is drawn for a base unit of
// about 6 by 13 pixels at 96 dpi.
QFont DialogFont();
