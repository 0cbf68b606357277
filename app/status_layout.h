// Fitting the status line's words into its fixed box. The box holds a few
// rows; each line of the words keeps a row of its own, so a long device path
// or a long reason never pushes a later line out of sight. The first line
// (the Com entry and its device path) stays on one row, elided in the middle
// so both ends of the path show; each later line may wrap onto rows that no
// line needs, in order, and is elided at its end when it still does not fit.
#pragma once

#include <QString>
#include <QStringList>

class QFont;

struct FittedStatus {
  QString text;         // the rows to show, separated by '\n'
  bool shortened = false;  // some words were elided or lines left out
};

// Lays `lines` out in `rows` rows of `width` pixels in `font`. Lines beyond
// `rows` are left out (and `shortened` set).
FittedStatus FitStatusLines(const QStringList& lines, const QFont& font, int width, int rows);
