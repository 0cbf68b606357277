// The operator window's life: its parts wired together, start-up, the status
// line, the About box and the way the window ends. Its controls are built in
// controller_controls.cpp.
#include "app/controller_dlg.h"

#include <utility>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

#include "app/about_dlg.h"
#include "app/artwork.h"
#include "app/dialog_template.h"
#include "app/link_follower.h"
#include "app/message_boxes.h"
#include "app/ports_dlg.h"
#include "app/settings_saver.h"
#include "app/slider.h"
#include "app/status_layout.h"
#include "app/status_text.h"
#include "app/updown.h"
#include "app/version_info.h"
#include "settings/profile_keys.h"
#include "settings/port_map.h"
#include "settings/profile_store.h"

CControllerDlg::CControllerDlg(LedSettings& settings, std::string profilePath, CMessageBoxes& boxes,
                               QWidget* parent)
    : QDialog(parent),
      m_settings(settings),
      m_profilePath(std::move(profilePath)),
      m_boxes(boxes),
      m_journal("dimlet", version::kVersion) {
  m_hIcon = ProgramIcon();
  PreloadStylePictures();
  // The map the window last read: a port choice reads no file.
  m_link.SetPortResolver([this](int32_t port) { return m_ports.DevicePath(port); });
  m_link.SetMissingAnswerHandler([this](int channel) { m_missingChannels.push_back(channel); });
  m_saver = std::make_unique<CSettingsSaver>(m_profilePath, kStoreName, [this](const SettingsSaveResult& result) {
    // Back on the window's thread; dropped if the window is gone by then.
    QMetaObject::invokeMethod(this, [this, result] {
      TakeSaveResult(result);
      UpdateStatusLine();
    }, Qt::QueuedConnection);
  });
  m_follower = std::make_unique<CLinkFollower>(m_link, [this] {
    m_link.ClosePort();
    OpenOnComEntry();
  });
  connect(m_follower.get(), &CLinkFollower::StateChanged, this, &CControllerDlg::UpdateStatusLine);
  BuildControls();
  ConnectEvents();
}

// The saver finishes what is queued before the window goes.
CControllerDlg::~CControllerDlg() = default;

void CControllerDlg::FlushSaves() {
  m_saver->Flush();
  if (std::optional<SettingsSaveResult> last = m_saver->LastResult()) TakeSaveResult(*last);
  UpdateStatusLine();
}

void CControllerDlg::TakeSaveResult(const SettingsSaveResult& result) {
  bool tableChanged = false;
  if (!m_saver->Take(result, m_settings, &tableChanged)) return;
  m_saveError = result.error;
  if (!result.error.empty()) return;
  // Once a save has gone through, the file holds the defaults in place of
  // what could not be read, and the [Ports] entries as they are now.
  m_replaced.clear();
  m_profileUnread.clear();
  m_changedElsewhere = result.changedElsewhere;
  m_keptElsewhere = result.keptElsewhere;
  m_ports = result.ports;
  ShowMappedPaths(m_comCombo, m_ports);
  // Cells another program saved meanwhile: the window shows what the file holds.
  if (tableChanged) {
    RefreshFromRow();
    RebuildSequenceList();
  }
}

void CControllerDlg::Start() {
  if (m_started) return;
  m_started = true;
  TransferToControls();

  // No system menu to extend: the About box sits in the context menu and on F1.
  auto* about = new QAction(QString::fromUtf8(version::kAboutMenuText), this);
  about->setShortcut(QKeySequence(Qt::Key_F1));
  connect(about, &QAction::triggered, this, &CControllerDlg::ShowAbout);
  addAction(about);
  auto* ports = new QAction(QStringLiteral("&Ports…"), this);
  ports->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  connect(ports, &QAction::triggered, this, &CControllerDlg::ShowPorts);
  addAction(ports);
  setContextMenuPolicy(Qt::ActionsContextMenu);

  setWindowIcon(m_hIcon);

  CProfileStore store(m_profilePath);
  std::string loadError;
  // A profile that could not be read was not written either: that is said as
  // what it is, beside the device the defaults chose for Com 1.
  if (!store.Load(kStoreName, m_settings, &loadError)) {
    (store.ReadFailure().empty() ? m_saveError : m_profileUnread) = loadError;
  }
  m_replaced = store.Replaced();
  m_ports = store.Ports();
  m_saver->Loaded(m_settings);

  // Start on the saved Com entry; a value with no entry counts as Com 1.
  if (m_settings.comPort < 1 || m_settings.comPort > kComEntries) m_settings.comPort = 1;
  const int32_t startPort = m_settings.comPort;
  if (!m_link.IsPortOpen()) OpenOnComEntry();
  m_follower->LinkChanged();

  RebuildSequenceList();
  m_curRow = 0;
  m_maxSq = m_settings.maxSq;
  m_running = 0;

  m_comCombo->clear();
  for (int port = 1; port <= kComEntries; ++port) m_comCombo->addItem(QString::fromStdString(ComEntryName(port)));
  m_comCombo->setCurrentIndex(startPort - 1);
  ShowMappedPaths(m_comCombo, m_ports);
  m_unitCombo->clear();
  for (int unit = 0; unit <= 7; ++unit) m_unitCombo->addItem(QStringLiteral("KIVO %1").arg(unit));
  m_unitCombo->setCurrentIndex(m_curRow);
  m_sequenceCombo->clear();
  for (int row = 1; row <= kSequenceRows; ++row) m_sequenceCombo->addItem(QStringLiteral("Sequent %1").arg(row));
  m_sequenceCombo->setCurrentIndex(m_curRow);

  CopyRowToMembers();
  m_newIdUpDown->SetRange(0, 7);
  m_maxSqUpDown->SetRange(1, kSequenceRows);
  // These sets run the text-changed handlers: the second one sends the
  // highest sequence to unit m_unitId.
  ControlAs<QLineEdit>(ctl::kNewIdEdit)->setText(QString::number(m_newId));
  ControlAs<QLineEdit>(ctl::kMaxSqEdit)->setText(QString::number(m_maxSq));
  // The outcome row tells of the operator's commands; of the start-up frame
  // only a fault the state row does not already tell.
  const CSerialLink::FrameOutcome startFrame = m_link.LastFrame();
  if (startFrame == CSerialLink::FrameOutcome::kSent || startFrame == CSerialLink::FrameOutcome::kNotOpen) {
    m_outcome.clear();
  }

  for (CSlider* slider : m_sliders) {
    slider->SetMin(0);
    slider->SetMax(255);
    slider->SetLineStep(1);
  }
  SetSlidersFromMembers();
  SelectListLine(m_curRow);
  TransferToControls();
  UpdateStatusLine();
  Control(ctl::kExit)->setFocus();
}

void CControllerDlg::ShowAbout() {
  ++m_handlersRunning;
  CAboutDlg about(this);
  about.exec();
  --m_handlersRunning;
  if (m_endRequested && m_handlersRunning == 0) OnExit(ctl::kExit);
}

bool CControllerDlg::ShowBox(const QString& text) {
  if (!m_endRequested) m_boxes.Show(this, text);
  return !m_endRequested;
}

void CControllerDlg::ShowMissingAnswers() {
  const std::vector<int> channels = std::exchange(m_missingChannels, {});
  for (const int channel : channels) ShowBox(QStringLiteral("Error%1").arg(channel));
}

void CControllerDlg::RunHandler(void (CControllerDlg::*handler)(int), int id) {
  ++m_handlersRunning;
  {
    // No reopen may start while the handler's command runs.
    CLinkFollower::CommandScope command(*m_follower);
    m_openAtCommand = m_link.IsPortOpen();
    m_link.TakeRecords();  // the journal tells this handler's frames alone
    (this->*handler)(id);
  }
  --m_handlersRunning;
  if (handler == &CControllerDlg::OnExit) return;
  // A command may have found the device gone, a save may have failed.
  UpdateStatusLine();
  if (m_endRequested && m_handlersRunning == 0) OnExit(ctl::kExit);
}

void CControllerDlg::EndAsExit() {
  if (!isVisible()) return;  // ended already, or never shown
  m_endRequested = true;
  // Boxes waiting for OK would hold the end up for as long as nobody is
  // there to press it; each returns to the handler that opened it.
  for (QWidget* window : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QDialog*>(window);
    if (box && box != this && box->isVisible() && box->isModal()) box->reject();
  }
  if (m_handlersRunning > 0) return;
  OnExit(ctl::kExit);
  // The process may be ended as soon as the request has been handled
  // (Windows ends it once WM_ENDSESSION returns): the queued saves are
  // written now, not when the dialog goes.
  FlushSaves();
}

void CControllerDlg::UpdateStatusLine() {
  // The link is always on the Com entry of the record: start-up and the port
  // choice both open it there.
  StatusFacts facts{.port = m_settings.comPort,
                    .saveError = m_saveError,
                    .profileUnread = m_profileUnread,
                    .followWords = m_follower->Words(),
                    .unreadable = m_replaced,
                    .changedElsewhere = m_changedElsewhere,
                    .keptElsewhere = m_keptElsewhere,
                    .outcome = m_outcome,
                    .journalError = m_journalError};
  // Line options the profile holds in a form not understood stay in the file
  // until the Ports… dialog sets them; their defaults drive the line meanwhile.
  const PortEntry entry = m_ports.Entry(m_settings.comPort);
  facts.unreadable.insert(facts.unreadable.end(), entry.unread.begin(), entry.unread.end());
  const StatusText status = DescribeLink(m_link, facts);
  const QRect box = m_statusLine->contentsRect();
  const int rows = std::max(1, box.height() / m_statusLine->fontMetrics().lineSpacing());
  const FittedStatus fitted = FitStatusLines(status.text.split('\n'), m_statusLine->font(), box.width(), rows);
  // The tool tip holds the words in full, with the system's own reasons.
  QString full = fitted.shortened ? status.text : QString();
  if (!status.detail.isEmpty() && !status.text.contains(status.detail))
    full += (full.isEmpty() ? "" : "\n") + status.detail;
  if (m_statusLine->text() != fitted.text) m_statusLine->setText(fitted.text);
  if (m_statusLine->toolTip() != full) m_statusLine->setToolTip(full);
  m_statusLine->setAccessibleDescription(status.text);
}

void CControllerDlg::OnExit(int) {
  m_link.ClosePort();
  TransferFromControls();
  accept();
}
