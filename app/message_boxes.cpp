// Modal message boxes with one OK button.
#include "app/message_boxes.h"

#include <QGuiApplication>
#include <QMessageBox>

void CModalMessageBoxes::Show(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Information, QGuiApplication::applicationDisplayName(), text,
                  QMessageBox::Ok, parent);
  box.exec();
}
