// The About box: icon, program name and version, build and licence, OK.
#include "app/about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "app/artwork.h"
#include "app/dialog_units.h"
#include "app/version_info.h"
#include "app/window_centring.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About ORVANEL"));
  setObjectName(QStringLiteral("about"));
  setFont(DialogFont());
  const DialogUnits units(font());
  setFixedSize(units.SizeToPixels(235, 55));

  auto* icon = new QLabel(this);
  icon->setPixmap(ProgramIcon().pixmap(32, 32));
  icon->move(units.ToPixels({11, 17, 21, 20}).topLeft());
  icon->adjustSize();

  auto* name = new QLabel(QStringLiteral("Dimlet Version %1").arg(QString::fromUtf8(version::kMajorMinor)), this);
  name->setTextFormat(Qt::PlainText);
  name->setGeometry(units.ToPixels({40, 10, 119, 8}));

  auto* detail = new QLabel(QStringLiteral("Release %1, MIT licence").arg(version::kVersion), this);
  detail->setTextFormat(Qt::PlainText);
  detail->setGeometry(units.ToPixels({40, 25, 119, 8}));

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setGeometry(units.ToPixels({178, 7, 50, 14}));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  new CWindowCentring(this, [parent] { return CWindowCentring::FrameOf(parent); });
}
