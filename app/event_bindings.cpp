// The window's event table: which handler runs for which notification of which
// control, connected in one loop. A new binding is one new row.
#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>

#include "app/controller_dlg.h"
#include "app/dialog_template.h"
#include "app/slider.h"

namespace {

enum class Notification { kClicked, kSelectionChanged, kTextChanged, kSliderTracking, kSliderCommitted };

}  // namespace

struct CControllerDlg::EventBinding {
  Notification notification;
  int id;
  void (CControllerDlg::*handler)(int id);
};

const CControllerDlg::EventBinding CControllerDlg::kEventBindings[] = {
    {Notification::kSelectionChanged, ctl::kComCombo, &CControllerDlg::OnPortChoice},
    {Notification::kSelectionChanged, ctl::kSequenceCombo, &CControllerDlg::OnSequenceChoice},
    {Notification::kSelectionChanged, ctl::kSequenceList, &CControllerDlg::OnListChoice},
    {Notification::kSelectionChanged, ctl::kUnitCombo, &CControllerDlg::OnUnitChoice},
    {Notification::kSliderTracking, ctl::kCh1Slider, &CControllerDlg::OnSliderTracking},
    {Notification::kSliderTracking, ctl::kCh2Slider, &CControllerDlg::OnSliderTracking},
    {Notification::kSliderTracking, ctl::kCh3Slider, &CControllerDlg::OnSliderTracking},
    {Notification::kSliderTracking, ctl::kCh4Slider, &CControllerDlg::OnSliderTracking},
    {Notification::kSliderCommitted, ctl::kCh1Slider, &CControllerDlg::OnSliderCommitted},
    {Notification::kSliderCommitted, ctl::kCh2Slider, &CControllerDlg::OnSliderCommitted},
    {Notification::kSliderCommitted, ctl::kCh3Slider, &CControllerDlg::OnSliderCommitted},
    {Notification::kSliderCommitted, ctl::kCh4Slider, &CControllerDlg::OnSliderCommitted},
    {Notification::kClicked, ctl::kDownload, &CControllerDlg::OnDownload},
    {Notification::kClicked, ctl::kUpload, &CControllerDlg::OnUpload},
    {Notification::kClicked, ctl::kSave, &CControllerDlg::OnStore},
    {Notification::kClicked, ctl::kAllRows, &CControllerDlg::OnLoadAllClicked},
    {Notification::kClicked, ctl::kSetAllMin, &CControllerDlg::OnSetAllMin},
    {Notification::kClicked, ctl::kSetAllMax, &CControllerDlg::OnSetAllMax},
    {Notification::kClicked, ctl::kRunStop, &CControllerDlg::OnRunToggle},
    {Notification::kTextChanged, ctl::kNewIdEdit, &CControllerDlg::OnNewIdText},
    {Notification::kClicked, ctl::kNewId, &CControllerDlg::OnNewId},
    {Notification::kTextChanged, ctl::kMaxSqEdit, &CControllerDlg::OnMaxSqText},
    {Notification::kClicked, ctl::kExit, &CControllerDlg::OnExit},
};

void CControllerDlg::ConnectEvents() {
  for (const EventBinding& binding : kEventBindings) {
    QWidget* control = Control(binding.id);
    const auto run = [this, binding] { RunHandler(binding.handler, binding.id); };
    switch (binding.notification) {
      case Notification::kClicked:
        connect(qobject_cast<QAbstractButton*>(control), &QAbstractButton::clicked, this, run);
        break;
      case Notification::kSelectionChanged:
        // Only the operator's choices: combos report them by `activated`, the
        // list's program-made selections are screened out.
        if (auto* combo = qobject_cast<QComboBox*>(control)) {
          connect(combo, &QComboBox::activated, this, run);
        } else if (auto* list = qobject_cast<QListWidget*>(control)) {
          connect(list, &QListWidget::itemSelectionChanged, this, [this, run] {
            if (!m_programSelection) run();
          });
        }
        break;
      case Notification::kTextChanged:
        connect(qobject_cast<QLineEdit*>(control), &QLineEdit::textChanged, this, run);
        break;
      case Notification::kSliderTracking:
      case Notification::kSliderCommitted: {
        CSlider* slider = nullptr;
        for (CSlider* candidate : m_sliders)
          if (candidate->Widget() == control) slider = candidate;
        if (binding.notification == Notification::kSliderTracking)
          connect(slider, &CSlider::Tracking, this, run);
        else
          connect(slider, &CSlider::Committed, this, run);
        break;
      }
    }
  }
}
