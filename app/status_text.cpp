// Words for the status line.
#include "app/status_text.h"

#include "device/link_words.h"

StatusText DescribeLink(int port, const CSerialLink& link, const std::string& saveError) {
  StatusText status;
  const QString device = QString::fromStdString(link.DevicePath());
  status.text = QStringLiteral("Com %1: %2\n").arg(port).arg(device);
  status.text += QString::fromStdString(link_words::StateWords(link));
  if (!link.IsPortOpen()) status.detail = QString::fromStdString(link.Reason());
  if (!saveError.empty()) {
    const QString reason = QString::fromStdString(saveError);
    status.text += QStringLiteral("\nSettings not saved: ") + reason;
    if (!status.detail.isEmpty()) status.detail += '\n';
    status.detail += reason;
  }
  return status;
}
