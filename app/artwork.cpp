// Decoding the compiled-in pictures.
#include "app/artwork.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QImageReader>
#include <QPixmapCache>
#include <QStyle>
#include <cstdint>

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

void PreloadStylePictures() {
  if (QApplication::style()->name() != QLatin1String("fusion")) return;
  // QPixmap::load(name) looks in the pixmap cache first, under a key made of
  // the file's path, time, size and pixmap type (0, an ordinary pixmap),
  // each number written as its little-endian bytes in hex, low digit first.
  // Should a later Qt make its key another way, the style decodes the
  // picture itself as before (a window test notices: it loads the plugins).
  const QString path = QStringLiteral(":/qt-project.org/styles/commonstyle/images/fusion_groupbox.png");
  const QFileInfo info(path);
  auto hex = [](auto value) {
    QString digits;
    for (size_t i = 0; i < sizeof value; ++i) {
      const unsigned byte = static_cast<unsigned>(value >> (8 * i)) & 0xffu;
      digits += QLatin1Char("0123456789abcdef"[byte & 0xf]);
      digits += QLatin1Char("0123456789abcdef"[byte >> 4]);
    }
    return digits;
  };
  const QString key = QLatin1String("qt_pixmap") + info.absoluteFilePath() +
                      hex(static_cast<uint32_t>(info.lastModified().toSecsSinceEpoch())) +
                      hex(static_cast<uint64_t>(info.size())) + hex(uint32_t{0});
  QPixmapCache::insert(key, Png(path));
}
