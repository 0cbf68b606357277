// CStatusLine: the line below the sequence list that says where the commands
// go and how that is going. Assistive tools see it as a status bar named by
// its text; a new text is a change of that name (QLabel tells them), which a
// screen reader announces ("not open: no such device", "unplugged") without
// the operator moving to it.
#pragma once

#include <QLabel>

class CStatusLine : public QLabel {
  Q_OBJECT

 public:
  explicit CStatusLine(QWidget* parent);
};
