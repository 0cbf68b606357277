// The one way the window shows a fixed message to the operator: a modal box
// with an OK button. Tests put a recorder in its place.
#pragma once

#include <QString>

class QWidget;

class CMessageBoxes {
 public:
  virtual ~CMessageBoxes() = default;
  // Returns once the operator has dismissed the box.
  virtual void Show(QWidget* parent, const QString& text) = 0;
};

// Shows a QMessageBox with the application's standard caption and icon.
class CModalMessageBoxes : public CMessageBoxes {
 public:
  void Show(QWidget* parent, const QString& text) override;
};
