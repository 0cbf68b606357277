// Status line fitting.
#include "app/status_layout.h"

#include <QFontMetrics>
#include <QTextLayout>
#include <algorithm>

namespace {

// The rows `text` takes when wrapped at word boundaries to `width`.
QStringList WrapRows(const QString& text, const QFont& font, int width) {
  QTextLayout layout(text, font);
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  QStringList rows;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(width);
    rows << text.mid(line.textStart(), line.textLength()).trimmed();
  }
  layout.endLayout();
  if (rows.isEmpty()) rows << QString();
  return rows;
}

}  // namespace

FittedStatus FitStatusLines(const QStringList& lines, const QFont& font, int width, int rows) {
  FittedStatus fitted;
  const QFontMetrics metrics(font);
  const int shown = std::min<int>(lines.size(), std::max(rows, 0));
  fitted.shortened = shown < lines.size();

  std::vector<QStringList> wrapped;
  for (int i = 0; i < shown; ++i) wrapped.push_back(WrapRows(lines[i], font, width));
  // Every line has one row; the rows left over go to the later lines that
  // need them, first come first served.
  std::vector<int> given(shown, 1);
  int spare = std::max(rows, 0) - shown;
  for (int i = 1; i < shown && spare > 0; ++i) {
    const int extra = std::min<int>(spare, static_cast<int>(wrapped[i].size()) - 1);
    given[i] += extra;
    spare -= extra;
  }

  QStringList out;
  for (int i = 0; i < shown; ++i) {
    if (i == 0) {
      const QString row = metrics.elidedText(lines[i], Qt::ElideMiddle, width);
      fitted.shortened |= row != lines[i];
      out << row;
      continue;
    }
    const QStringList& all = wrapped[i];
    if (static_cast<int>(all.size()) <= given[i]) {
      out << all;
      continue;
    }
    // What does not fit goes into the last row given, elided at its end.
    for (int r = 0; r + 1 < given[i]; ++r) out << all[r];
    const QString rest = all.mid(given[i] - 1).join(' ');
    out << metrics.elidedText(rest, Qt::ElideRight, width);
    fitted.shortened = true;
  }
  fitted.text = out.join('\n');
  return fitted;
}
