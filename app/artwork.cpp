// Decoding the compiled-in pictures.
#include "app/artwork.h"

#include <QImageReader>

namespace {

QPixmap Png(const QString& resource) {
  QImageReader reader(resource, "png");
  reader.setAutoDetectImageFormat(false);
  return QPixmap::fromImage(reader.read());
}

}  // namespace

QPixmap LogoPixmap() { return Png(QStringLiteral(":/dimlet/logo129.png")); }

QIcon ProgramIcon() {
  QIcon icon;
  icon.addPixmap(Png(QStringLiteral(":/dimlet/icon-32.png")));
  icon.addPixmap(Png(QStringLiteral(":/dimlet/icon-16.png")));
  return icon;
}
