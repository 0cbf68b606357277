// The two-way transfer between the members and the controls bound to them.
#include <QCheckBox>
#include <QLineEdit>

#include "app/controller_dlg.h"
#include "app/dialog_template.h"
#include "app/text_value.h"

namespace {

enum class Transfer { kIntegerText, kCheckState };

}  // namespace

struct CControllerDlg::DataBinding {
  int id;
  int32_t CControllerDlg::*member;
  Transfer transfer;
};

const CControllerDlg::DataBinding CControllerDlg::kDataBindings[] = {
    {ctl::kCh1Value, &CControllerDlg::m_ch1, Transfer::kIntegerText},
    {ctl::kCh2Value, &CControllerDlg::m_ch2, Transfer::kIntegerText},
    {ctl::kCh3Value, &CControllerDlg::m_ch3, Transfer::kIntegerText},
    {ctl::kCh4Value, &CControllerDlg::m_ch4, Transfer::kIntegerText},
    {ctl::kAllRows, &CControllerDlg::m_allRows, Transfer::kCheckState},
};

void CControllerDlg::TransferToControls() {
  for (const DataBinding& binding : kDataBindings) {
    const int32_t value = this->*binding.member;
    if (binding.transfer == Transfer::kIntegerText) {
      auto* edit = ControlAs<QLineEdit>(binding.id);
      const QString text = QString::number(value);
      if (edit->text() != text) edit->setText(text);
    } else {
      ControlAs<QCheckBox>(binding.id)->setChecked(value != 0);
    }
  }
}

void CControllerDlg::TransferFromControls() {
  for (const DataBinding& binding : kDataBindings) {
    if (binding.transfer == Transfer::kIntegerText)
      this->*binding.member = IntegerValueOfText(ControlAs<QLineEdit>(binding.id)->text().toStdString());
    else
      this->*binding.member = ControlAs<QCheckBox>(binding.id)->isChecked() ? 1 : 0;
  }
}
