// What each operator action does: edit the sequence table, keep sliders, value
// boxes and list in step with it, save the profile, and send unit commands.
#include <QComboBox>
#include <algorithm>
#include <iterator>
#include <vector>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "app/controller_dlg.h"
#include "app/dialog_template.h"
#include "app/link_follower.h"
#include "app/message_boxes.h"
#include "app/settings_saver.h"
#include "app/slider.h"
#include "app/text_value.h"
#include "device/unit_operations.h"

namespace {

int ChannelOfSlider(int id) {
  const auto* slider = std::find(std::begin(ctl::kChannelSliders), std::end(ctl::kChannelSliders), id);
  return static_cast<int>(slider - std::begin(ctl::kChannelSliders));
}

}  // namespace

int32_t& CControllerDlg::Channel(int channel) {
  static constexpr int32_t CControllerDlg::*kMembers[kChannels] = {
      &CControllerDlg::m_ch1, &CControllerDlg::m_ch2, &CControllerDlg::m_ch3, &CControllerDlg::m_ch4};
  return this->*kMembers[channel];
}

void CControllerDlg::CopyRowToMembers() {
  for (int channel = 0; channel < kChannels; ++channel) Channel(channel) = m_settings.seq.Cell(m_curRow, channel);
}

void CControllerDlg::SetSlidersFromMembers() {
  for (int channel = 0; channel < kChannels; ++channel) m_sliders[channel]->SetValue(Channel(channel));
}

void CControllerDlg::SelectListLine(int row) {
  m_programSelection = true;
  m_sequenceList->setCurrentRow(row);
  m_programSelection = false;
}

void CControllerDlg::RefreshFromRow() {
  CopyRowToMembers();
  SetSlidersFromMembers();
  SelectListLine(m_curRow);
  TransferToControls();
}

void CControllerDlg::RebuildSequenceList() {
  m_programSelection = true;
  m_sequenceList->clear();
  for (const std::string& line : ListLines(m_settings.seq)) m_sequenceList->addItem(QString::fromStdString(line));
  m_sequenceList->clearSelection();
  m_sequenceList->setCurrentRow(-1);
  m_programSelection = false;
}

void CControllerDlg::SaveSettings() { m_saver->Save(m_settings); }

void CControllerDlg::ReopenPort() {
  // The window never shows one port while talking to another.
  m_link.ClosePort();
  m_link.OpenPort(m_settings.comPort, kLineBaud);
  m_follower->LinkChanged();
}

void CControllerDlg::OnPortChoice(int) {
  m_settings.comPort = m_comCombo->currentIndex() + 1;
  SaveSettings();
  ReopenPort();
}

void CControllerDlg::OnSequenceChoice(int) {
  m_curRow = m_sequenceCombo->currentIndex();
  CopyRowToMembers();
  SetSlidersFromMembers();
  SelectListLine(m_curRow);
  // The value boxes follow too, so a later transfer back reads this row.
  TransferToControls();
}

void CControllerDlg::OnListChoice(int) {
  const QList<QListWidgetItem*> selected = m_sequenceList->selectedItems();
  if (selected.isEmpty()) return;
  m_curRow = m_sequenceList->row(selected.first());
  m_sequenceCombo->setCurrentIndex(m_curRow);
  RefreshFromRow();
}

void CControllerDlg::OnUnitChoice(int) { m_unitId = m_unitCombo->currentIndex(); }

void CControllerDlg::OnSliderTracking(int id) {
  const int channel = ChannelOfSlider(id);
  Channel(channel) = m_sliders[channel]->GetValue();
  m_settings.seq.SetCell(m_curRow, channel, Channel(channel));
  TransferToControls();
}

void CControllerDlg::OnSliderCommitted(int id) {
  OnSliderTracking(id);
  SaveSettings();
  RebuildSequenceList();
}

void CControllerDlg::OnDownload(int) {
  if (m_allRows == 1) {
    // An end of the program while the box waits is no OK: nothing is sent.
    if (!ShowBox(QStringLiteral("Download all sequent?"))) return;
    std::vector<unit_operations::UnitRow> rows;
    for (int row = 0; row < kSequenceRows; ++row) rows.push_back({row, m_settings.seq.Row(row)});
    unit_operations::WriteRows(m_link, m_unitId, rows);
  } else {
    m_link.WriteRow(m_unitId, m_curRow, m_ch1, m_ch2, m_ch3, m_ch4);
  }
}

void CControllerDlg::OnUpload(int) {
  SequenceTable& table = m_settings.seq;
  if (m_allRows == 1) {
    if (!ShowBox(QStringLiteral("Upload all sequent?"))) return;
    // Each row as ReadRow reads it: missing bytes reported in their place,
    // the answer stored before the pause to the next row.
    unit_operations::ReadHooks hooks;
    hooks.reportMissing = true;
    hooks.answered = [&table](int32_t row, const CSerialLink::RowAnswer& answer) {
      CSerialLink::StoreAnswer(answer, table.CellPtr(row, 0), table.CellPtr(row, 1), table.CellPtr(row, 2),
                               table.CellPtr(row, 3));
    };
    unit_operations::ReadRows(m_link, m_unitId, unit_operations::AllRows(), hooks);
  } else {
    m_link.ReadRow(m_unitId, m_curRow, table.CellPtr(m_curRow, 0), table.CellPtr(m_curRow, 1),
                   table.CellPtr(m_curRow, 2), table.CellPtr(m_curRow, 3));
  }
  RefreshFromRow();
  RebuildSequenceList();
}

void CControllerDlg::OnStore(int) {
  m_link.StoreOnUnit(m_unitId);
  SaveSettings();
}

void CControllerDlg::OnLoadAllClicked(int) { TransferFromControls(); }

void CControllerDlg::BulkFill(int32_t value) {
  if (m_allRows == 1)
    m_settings.seq.FillAll(value);
  else
    m_settings.seq.FillRow(m_curRow, value);
  RefreshFromRow();
  RebuildSequenceList();
}

void CControllerDlg::OnSetAllMin(int) { BulkFill(0); }

void CControllerDlg::OnSetAllMax(int) { BulkFill(255); }

void CControllerDlg::OnRunToggle(int) {
  m_running = m_running == 0 ? 1 : 0;
  m_runButton->setText(m_running == 1 ? QStringLiteral("Stop") : QStringLiteral("Run"));
  m_link.SetRunState(m_unitId, m_running);
}

void CControllerDlg::OnNewIdText(int) {
  m_newId = IntegerValueOfText(ControlAs<QLineEdit>(ctl::kNewIdEdit)->text().toStdString());
}

void CControllerDlg::OnNewId(int) { m_link.ChangeAddress(m_unitId, m_newId); }

void CControllerDlg::OnMaxSqText(int) {
  m_maxSq = IntegerValueOfText(ControlAs<QLineEdit>(ctl::kMaxSqEdit)->text().toStdString());
  m_link.SetHighestSequence(m_unitId, static_cast<uint8_t>(m_maxSq & 0xFF));
}
