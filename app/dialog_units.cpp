// Conversion of dialog units to pixels.
#include "app/dialog_units.h"

#include <QFontMetricsF>
#include <cmath>

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetricsF metrics(font);
  const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  m_perX = metrics.horizontalAdvance(letters) / letters.size() / 4.0;
  m_perY = metrics.height() / 8.0;
}

QRect DialogUnits::ToPixels(const ctl::Place& place) const {
  // Round edges, not sizes, so neighbouring controls stay flush.
  const int left = static_cast<int>(std::lround(place.x * m_perX));
  const int top = static_cast<int>(std::lround(place.y * m_perY));
  const int right = static_cast<int>(std::lround((place.x + place.width) * m_perX));
  const int bottom = static_cast<int>(std::lround((place.y + place.height) * m_perY));
  return QRect(left, top, right - left, bottom - top);
}

QSize DialogUnits::SizeToPixels(int width, int height) const {
  return ToPixels({0, 0, width, height}).size();
}
