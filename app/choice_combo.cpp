// A combo box that acts on list choices only.
#include "app/choice_combo.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QWheelEvent>

CChoiceCombo::CChoiceCombo(bool editable, QWidget* parent) : QComboBox(parent) {
  setEditable(editable);
  setInsertPolicy(QComboBox::NoInsert);
  if (editable) setCompleter(nullptr);  // no inline completion of what is typed
}

void CChoiceCombo::ShowChosenEntry() {
  if (QLineEdit* edit = lineEdit()) {
    const QString chosen = currentIndex() >= 0 ? itemText(currentIndex()) : QString();
    if (edit->text() != chosen) edit->setText(chosen);
  }
}

void CChoiceCombo::focusOutEvent(QFocusEvent* event) {
  ShowChosenEntry();
  QComboBox::focusOutEvent(event);
}

void CChoiceCombo::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) ShowChosenEntry();
  QComboBox::keyPressEvent(event);
}

void CChoiceCombo::wheelEvent(QWheelEvent* event) {
  if (!hasFocus()) {
    event->ignore();
    return;
  }
  QComboBox::wheelEvent(event);
}
