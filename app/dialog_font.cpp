// The dialog font on Linux: the desktop's interface font at 8 points.
#include <QFontDatabase>

#include "app/dialog_units.h"

QFont DialogFont() {
  // The desktop's own interface font is its sans-serif; asking for it by
  // family name instead would make the font database search for fallbacks.
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(8);
  return font;
}
