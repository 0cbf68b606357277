// CChoiceCombo: a combo box on which only a choice from its list has an
// effect: an entry picked in the drop-down, or the arrow keys on the closed
// box. Text typed into an editable one is never completed, never matched to
// an entry and never reported; it gives way to the chosen entry when the box
// loses the focus or Enter is pressed. The mouse wheel turns it only while it
// has the focus, so scrolling past the window never changes a choice.
#pragma once

#include <QComboBox>

class CChoiceCombo : public QComboBox {
  Q_OBJECT

 public:
  CChoiceCombo(bool editable, QWidget* parent);

 protected:
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  // Puts the chosen entry's text back into the edit field, so that the
  // combo's own matching of typed text finds nothing to change.
  void ShowChosenEntry();
};
