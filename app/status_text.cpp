// Words for the status line.
#include "app/status_text.h"

QString DescribeFault(CSerialLink::Fault fault) {
  switch (fault) {
    case CSerialLink::Fault::kNone:
      return QStringLiteral("not open");
    case CSerialLink::Fault::kNotFound:
      return QStringLiteral("no such device");
    case CSerialLink::Fault::kPermission:
      return QStringLiteral("Permission denied — add your user to the dialout group");
    case CSerialLink::Fault::kInUse:
      return QStringLiteral("in use by another program");
    case CSerialLink::Fault::kNotSerial:
      return QStringLiteral("not a serial device");
    case CSerialLink::Fault::kSetup:
      return QStringLiteral("line settings not accepted");
    case CSerialLink::Fault::kLost:
      return QStringLiteral("connection lost");
    case CSerialLink::Fault::kOther:
      break;
  }
  return QStringLiteral("cannot open");
}

StatusText DescribeLink(int port, const CSerialLink& link, const std::string& saveError) {
  StatusText status;
  const QString device = QString::fromStdString(link.DevicePath());
  status.text = QStringLiteral("Com %1: %2\n").arg(port).arg(device);
  if (link.IsPortOpen()) {
    status.text += QStringLiteral("open, 9600 baud");
  } else {
    const bool plain = link.LastFault() != CSerialLink::Fault::kOther || link.Reason().empty();
    status.text += QStringLiteral("not open: ") +
                   (plain ? DescribeFault(link.LastFault()) : QString::fromStdString(link.Reason()));
    status.detail = QString::fromStdString(link.Reason());
  }
  if (!saveError.empty()) {
    const QString reason = QString::fromStdString(saveError);
    status.text += QStringLiteral("\nSettings not saved: ") + reason;
    if (!status.detail.isEmpty()) status.detail += '\n';
    status.detail += reason;
  }
  return status;
}
