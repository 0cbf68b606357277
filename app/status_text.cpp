// Words for the status line.
#include "app/status_text.h"

#include <QStringList>

#include "device/adapter_tuning.h"
#include "device/link_words.h"

StatusText DescribeLink(int port, const CSerialLink& link, const std::string& saveError,
                        const std::string& followWords, const std::vector<ReplacedValue>& replaced) {
  StatusText status;
  const QString device = QString::fromStdString(link.DevicePath());
  status.text = QStringLiteral("Com %1: %2\n").arg(port).arg(device);
  status.text += QString::fromStdString(followWords.empty() ? link_words::StateWords(link) : followWords);
  // How the open line behaves ("echoes", a network line's round trip) goes
  // on the state's own row: the box has rows for few notices.
  if (const std::string line = link_words::LineWords(link); !line.empty()) {
    status.text += QStringLiteral("; ") + QString::fromStdString(line);
  }
  if (!link.IsPortOpen()) status.detail = QString::fromStdString(link.Reason());
  if (link.IsPortOpen()) {
    const link_words::LatencyWarning late =
        link_words::LatencyWords(link.LatencyTimerMs(), TtyNameOf(link.DevicePath()), link.AnswerWaitMs());
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
  if (!replaced.empty()) {
    // The line names the first few; the tool tip names them all.
    constexpr size_t kNamed = 2;
    QStringList named;
    QStringList all;
    for (const ReplacedValue& value : replaced) {
      const QString entry = QStringLiteral("%1 \u201c%2\u201d").arg(QString::fromStdString(value.key),
                                                                 QString::fromStdString(value.text));
      if (named.size() < static_cast<qsizetype>(kNamed)) named << entry;
      all << entry;
    }
    QString line = QStringLiteral("\nUnreadable, default used: ") + named.join(QStringLiteral(", "));
    if (replaced.size() > kNamed) line += QStringLiteral(" and %1 more").arg(replaced.size() - kNamed);
    status.text += line;
    if (!status.detail.isEmpty()) status.detail += '\n';
    status.detail += QStringLiteral("Unreadable profile values, replaced by their defaults: ") +
                     all.join(QStringLiteral(", "));
  }
  return status;
}
