// What each operator action does: edit the sequence table, keep sliders, value
// boxes and list in step with it, save the profile, and send unit commands.
#include <QComboBox>
#include <algorithm>
#include <iterator>
#include <string>
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
#include "device/link_words.h"
#include "device/unit_commands.h"
#include "device/unit_operations.h"

namespace {

int ChannelOfSlider(int id) {
  const auto* slider = std::find(std::begin(ctl::kChannelSliders), std::end(ctl::kChannelSliders), id);
  return static_cast<int>(slider - std::begin(ctl::kChannelSliders));
}

// The outcome row of the status line: what the last command did to which
// unit, in the words of the window ("KIVO 3", rows as "Sequent" numbers).
std::string UnitWords(int32_t unit) { return "KIVO " + std::to_string(unit) + ": "; }

std::string Rows(int count) { return std::to_string(count) + (count == 1 ? " row" : " rows"); }

// A command's outcome when its frame went out whole: "address 5 sent".
std::string SentWords(unit_commands::UnitCommand command, int value = 0) {
  return unit_commands::Words(unit_commands::RowOf(command).sent, value);
}

// `done` when the command's last frame went out whole and the line stayed;
// otherwise why not, after the rows that went before it (`rowsDone` of
// `doneWords`). A line that went away during the command (`openBefore`, and
// closed now) is told as that: which frame found it gone (the one sent then,
// or a later one that a row loop sent to nothing) matters less than that it
// went. On a link that was not open before, no row went.
std::string Outcome(int32_t unit, const CSerialLink& link, bool openBefore, const std::string& done, int rowsDone = 0,
                    const std::string& doneWords = {}) {
  const CSerialLink::FrameOutcome outcome = link.LastFrame();
  const bool wentAway = openBefore && !link.IsPortOpen();
  if (outcome == CSerialLink::FrameOutcome::kSent && !wentAway) return UnitWords(unit) + done;
  const bool someSent = rowsDone > 0 && (wentAway || outcome != CSerialLink::FrameOutcome::kNotOpen);
  const std::string before = someSent ? Rows(rowsDone) + " " + doneWords + ", then " : "";
  const bool lostInFrame = !someSent && outcome == CSerialLink::FrameOutcome::kLost;
  // A frame refused before its first byte (the line was not quiet) sent
  // nothing: its record says so, and so do the words.
  const CSerialLink::FrameRecord& record = link.LastRecord();
  const bool refused = !someSent && outcome != CSerialLink::FrameOutcome::kNotOpen && record.frame.size > 0 &&
                       record.NoneLeft() && !wentAway;
  return UnitWords(unit) + before + (refused ? "not sent: " : "") +
         (wentAway && !lostInFrame ? "the line went away" : link_words::FrameWords(link));
}

// What a read of rows brought: the rows read and the channels that did not
// come, or that nothing came at all.
std::string ReadWords(const std::string& rows, const std::vector<CSerialLink::RowAnswer>& answers) {
  int arrived = 0;
  for (const CSerialLink::RowAnswer& answer : answers) arrived += answer.arrived;
  const int asked = static_cast<int>(answers.size()) * unit_protocol::kAnswerBytes;
  if (arrived == 0) return "no answer to " + rows;
  if (arrived == asked) return rows + " read";
  const int missing = asked - arrived;
  return rows + " read, " + std::to_string(missing) + (missing == 1 ? " channel" : " channels") + " missing";
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
  OpenOnComEntry();
  m_follower->LinkChanged();
  m_outcome.clear();  // it told of the line before
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
    // A write frame has no answer: that the unit took the rows only a read
    // back could tell, so the words say what is known.
    int sent = 0;
    unit_operations::WriteRows(m_link, m_unitId, rows, [&sent](int done, int) { sent = done; });
    m_outcome = Outcome(m_unitId, m_link, m_openAtCommand, Rows(kSequenceRows) + " sent", sent, "sent");
    // The journal keeps every row whose frame left whole, the one that then
    // failed its echo among them.
    std::vector<JournalRow> asked;
    for (const unit_operations::UnitRow& row : rows) asked.push_back({row.row + 1, row.values});
    JournalCommand(unit_commands::UnitCommand::kWriteRow, asked);
  } else {
    m_link.WriteRow(m_unitId, m_curRow, m_ch1, m_ch2, m_ch3, m_ch4);
    m_outcome =
        Outcome(m_unitId, m_link, m_openAtCommand, SentWords(unit_commands::UnitCommand::kWriteRow, m_curRow + 1));
    JournalCommand(unit_commands::UnitCommand::kWriteRow, {{m_curRow + 1, {m_ch1, m_ch2, m_ch3, m_ch4}}});
  }
}

void CControllerDlg::OnUpload(int) {
  SequenceTable& table = m_settings.seq;
  std::vector<int> cellsRead;
  // The channels that came are stored in their cells; the rest keep theirs.
  const auto store = [&table, &cellsRead](int32_t row, const CSerialLink::RowAnswer& answer) {
    CSerialLink::StoreAnswer(answer, table.CellPtr(row, 0), table.CellPtr(row, 1), table.CellPtr(row, 2),
                             table.CellPtr(row, 3));
    for (int channel = 0; channel < answer.arrived; ++channel) cellsRead.push_back(row * kChannels + channel);
  };
  if (m_allRows == 1) {
    if (!ShowBox(QStringLiteral("Upload all sequent?"))) return;
    // Each row as ReadRow reads it: missing bytes reported in their place,
    // the answer stored before the pause to the next row.
    unit_operations::ReadHooks hooks;
    hooks.reportMissing = true;
    hooks.answered = [&](int32_t row, const CSerialLink::RowAnswer& answer) {
      store(row, answer);
      ShowMissingAnswers();
    };
    const std::vector<CSerialLink::RowAnswer> answers =
        unit_operations::ReadRows(m_link, m_unitId, unit_operations::AllRows(), hooks);
    ShowMissingAnswers();  // those of a row whose frame failed, or whose answer came late
    // The row whose frame failed, and those after a line that went away, are
    // among the answers with nothing in them.
    const int read = static_cast<int>(std::count_if(answers.begin(), answers.end(),
                                                    [](const CSerialLink::RowAnswer& a) { return a.arrived > 0; }));
    m_outcome = Outcome(m_unitId, m_link, m_openAtCommand, ReadWords(Rows(kSequenceRows), answers), read, "read");
  } else {
    // As ReadRow: missing bytes reported, the rest stored; the answer kept
    // for the outcome row.
    const CSerialLink::RowAnswer answer = m_link.ReadRowAnswer(m_unitId, m_curRow, true);
    store(m_curRow, answer);
    ShowMissingAnswers();
    m_outcome =
        Outcome(m_unitId, m_link, m_openAtCommand, ReadWords("row " + std::to_string(m_curRow + 1), {answer}));
  }
  if (!cellsRead.empty()) m_saver->ReadFromUnit(m_settings, cellsRead);
  RefreshFromRow();
  RebuildSequenceList();
}

void CControllerDlg::OnStore(int) {
  m_link.StoreOnUnit(m_unitId);
  m_outcome = Outcome(m_unitId, m_link, m_openAtCommand, SentWords(unit_commands::UnitCommand::kStore));
  JournalCommand(unit_commands::UnitCommand::kStore);
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
  const unit_commands::UnitCommand command =
      m_running == 1 ? unit_commands::UnitCommand::kRun : unit_commands::UnitCommand::kStop;
  m_outcome = Outcome(m_unitId, m_link, m_openAtCommand, SentWords(command));
  JournalCommand(command);
}

void CControllerDlg::OnNewIdText(int) {
  m_newId = IntegerValueOfText(ControlAs<QLineEdit>(ctl::kNewIdEdit)->text().toStdString());
}

void CControllerDlg::OnNewId(int) {
  m_link.ChangeAddress(m_unitId, m_newId);
  m_outcome = Outcome(m_unitId, m_link, m_openAtCommand,
                      SentWords(unit_commands::UnitCommand::kChangeAddress, unit_protocol::LowByte(m_newId)));
  JournalCommand(unit_commands::UnitCommand::kChangeAddress, {}, m_newId);
}

void CControllerDlg::OnMaxSqText(int) {
  m_maxSq = IntegerValueOfText(ControlAs<QLineEdit>(ctl::kMaxSqEdit)->text().toStdString());
  const auto value = static_cast<uint8_t>(m_maxSq & 0xFF);
  m_link.SetHighestSequence(m_unitId, value);
  // The unit is told no more than its limit: the words say what went out.
  const int sent = std::min(value, unit_protocol::kHighestSequenceLimit);
  m_outcome = Outcome(m_unitId, m_link, m_openAtCommand, SentWords(unit_commands::UnitCommand::kHighestSequence, sent));
  JournalCommand(unit_commands::UnitCommand::kHighestSequence, {}, m_maxSq);
}
