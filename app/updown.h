// CUpDown: a pair of arrow buttons attached to an edit. An arrow (or the arrow
// keys in the edit) writes the edit's integer plus or minus one into it, kept
// within the range without wrapping. The edit itself takes any text.
#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

class CUpDown : public QWidget {
  Q_OBJECT

 public:
  CUpDown(QLineEdit* buddy, QWidget* parent);

  void SetRange(int lower, int upper);

  QToolButton* UpButton() const { return m_up; }

  // One arrow press: +1 or -1.
  void Step(int delta);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QLineEdit* m_buddy;
  QToolButton* m_up;
  QToolButton* m_down;
  int m_lower = 0;
  int m_upper = 100;
};
