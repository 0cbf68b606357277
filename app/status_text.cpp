// Words for the status line.
#include "app/status_text.h"

#include <QStringList>

#include "device/adapter_tuning.h"
#include "device/link_words.h"
#include "settings/port_map.h"

namespace {

// The line names the first few; the tool tip names them all.
constexpr qsizetype kNamed = 2;

// Adds `line` and the names of `entries` to the status: the first kNamed on
// the line, all of them in the tool tip after `detailLine`.
void AddNamed(StatusText& status, const QString& line, const QStringList& entries, const QString& detailLine) {
  QString shown = QStringLiteral("\n") + line + entries.mid(0, kNamed).join(QStringLiteral(", "));
  if (entries.size() > kNamed) shown += QStringLiteral(" and %1 more").arg(entries.size() - kNamed);
  status.text += shown;
  if (!status.detail.isEmpty()) status.detail += '\n';
  status.detail += detailLine + entries.join(QStringLiteral(", "));
}

}  // namespace

StatusText DescribeLink(const CSerialLink& link, const StatusFacts& facts) {
  const std::string& followWords = facts.followWords;
  const std::string& saveError = facts.saveError;
  StatusText status;
  const QString device = QString::fromStdString(link.DevicePath());
  status.text = QStringLiteral("%1: %2\n").arg(QString::fromStdString(ComEntryName(facts.port)), device);
  status.text += QString::fromStdString(followWords.empty() ? link_words::StateWords(link) : followWords);
  // How the line behaves shares the state's row: the box has few to spare.
  const std::string habits = link_words::LineWords(link);
  if (!habits.empty()) status.text += QStringLiteral("; ") + QString::fromStdString(habits);
  // Nothing else on screen leads to where a Com entry is given its device.
  if (!link.IsPortOpen()) status.text += QStringLiteral("; Ctrl+P: Ports\u2026");
  if (!link.IsPortOpen()) status.detail = QString::fromStdString(link.Reason());
  if (link.IsPortOpen()) {
    const link_words::LatencyWarning late =
        link_words::LatencyWords(link.LatencyTimerMs(), TtyNameOf(link.DevicePath()), link.AnswerWaitMs());
    if (!late.line.empty()) {
      status.text += QStringLiteral("\n") + QString::fromStdString(late.line);
      status.detail = QString::fromStdString(late.fix);
    }
  }
  // A row of its own, the system's reason in the tool tip too.
  const auto addFailure = [&status](const QString& what, const std::string& why) {
    if (why.empty()) return;
    const QString reason = QString::fromStdString(why);
    status.text += QStringLiteral("\n") + what + reason;
    if (!status.detail.isEmpty()) status.detail += '\n';
    status.detail += reason;
  };
  addFailure(QStringLiteral("Profile not read, defaults used: "), facts.profileUnread);
  addFailure(QStringLiteral("Settings not saved: "), saveError);
  if (!facts.outcome.empty()) status.text += QStringLiteral("\n") + QString::fromStdString(facts.outcome);
  addFailure(QStringLiteral("Journal not written: "), facts.journalError);
  if (!facts.unreadable.empty()) {
    QStringList entries;
    for (const ReplacedValue& value : facts.unreadable) {
      entries << QStringLiteral("%1 \u201c%2\u201d").arg(QString::fromStdString(value.key),
                                                        QString::fromStdString(value.text));
    }
    AddNamed(status, QStringLiteral("Unreadable, default used: "), entries,
             QStringLiteral("Unreadable profile values, replaced by their defaults: "));
  }
  const auto addKeys = [&status](const std::vector<std::string>& names, const QString& line, const QString& detail) {
    if (names.empty()) return;
    QStringList keys;
    for (const std::string& key : names) keys << QString::fromStdString(key);
    AddNamed(status, line, keys, detail);
  };
  addKeys(facts.changedElsewhere, QStringLiteral("Profile also changed elsewhere; this window's value saved: "),
          QStringLiteral("Another program changed these profile values too; this window's later change was saved: "));
  addKeys(facts.keptElsewhere, QStringLiteral("Profile changed after the upload; its value kept: "),
          QStringLiteral("Another program changed these profile values after this window read them from the unit; "
                         "its later value was kept (the unit still holds what was read): "));
  return status;
}
