// The status line and what assistive tools read of it.
#include "app/status_line.h"

#include <QAccessibleWidget>

namespace {

// A status bar whose name is the words it shows; the full words, when they
// had to be shortened, are its description.
class StatusLineAccessible : public QAccessibleWidget {
 public:
  explicit StatusLineAccessible(QWidget* line) : QAccessibleWidget(line, QAccessible::StatusBar) {}

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name) return static_cast<const QLabel*>(widget())->text();
    return QAccessibleWidget::text(t);
  }
};

QAccessibleInterface* StatusLineFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("CStatusLine") && object->isWidgetType())
    return new StatusLineAccessible(static_cast<QWidget*>(object));
  return nullptr;
}

}  // namespace

CStatusLine::CStatusLine(QWidget* parent) : QLabel(parent) {
  static const bool installed = (QAccessible::installFactory(StatusLineFactory), true);
  (void)installed;
  setObjectName(QStringLiteral("statusLine"));
  // Rows are fitted by the window, never wrapped by the label itself.
  setWordWrap(false);
  // Paths and reasons come from files and devices: shown as they are, never as markup.
  setTextFormat(Qt::PlainText);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  setTextInteractionFlags(Qt::TextSelectableByMouse);
}
