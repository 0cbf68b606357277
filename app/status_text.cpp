// Words for the status line.
#include "app/status_text.h"

#include "device/adapter_tuning.h"
#include "device/link_words.h"

StatusText DescribeLink(int port, const CSerialLink& link, const std::string& saveError,
                        const std::string& followWords) {
  StatusText status;
  const QString device = QString::fromStdString(link.DevicePath());
  status.text = QStringLiteral("Com %1: %2\n").arg(port).arg(device);
  status.text += QString::fromStdString(followWords.empty() ? link_words::StateWords(link) : followWords);
  if (!link.IsPortOpen()) status.detail = QString::fromStdString(link.Reason());
  if (link.IsPortOpen()) {
    const link_words::LatencyWarning late =
        link_words::LatencyWords(link.LatencyTimerMs(), TtyNameOf(link.DevicePath()));
    if (!late.line.empty()) {
      status.text += QStringLiteral("\n") + QString::fromStdString(late.line);
      status.detail = QString::fromStdString(late.fix);
    }
  }
  if (!saveError.empty()) {
    const QString reason = QString::fromStdString(saveError);
    status.text += QStringLiteral("\nSettings not saved: ") + reason;
    if (!status.detail.isEmpty()) status.detail += '\n';
    status.detail += reason;
  }
  return status;
}
