// CAboutDlg: the About box, 235 x 55 dialog units, centred on its parent.
#pragma once

#include <QDialog>

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent);
};
