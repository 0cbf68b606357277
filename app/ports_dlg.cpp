// The "Ports…" dialog.
#include "app/ports_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStringList>
#include <QVBoxLayout>
#include <algorithm>

#include "device/network_address.h"
#include "device/unit_protocol.h"
#include "settings/port_map.h"
#include "settings/whole_file.h"

namespace {

// The spin box's value that stands for an automatic answer wait.
constexpr int kAutoWaitStep = unit_protocol::kAnswerWindowMs - 1;


constexpr EchoMode kEchoChoices[] = {EchoMode::kAuto, EchoMode::kOn, EchoMode::kOff};

// The line options of Com `port` as the profile holds them now; defaults
// when it cannot be read (the port's own open tells of a wrong entry).
LineOptions OptionsInProfile(const std::string& profilePath, int port) {
  std::string text;
  std::string error;
  if (!ReadWholeFile(profilePath, &text, nullptr, &error)) return {};
  return CPortMap(CIniDocument(std::move(text))).Entry(port).options;
}

// The widest a path or any other single word is shown in the dialog's lines;
// a longer one is shortened in its middle and shown whole in the tool tip.
constexpr int kLongestWordPx = 360;

// `text` with each word wider than kLongestWordPx shortened in its middle,
// so that no path can stretch the dialog past the screen.
QString ElideLongWords(const QString& text, const QFontMetrics& metrics) {
  QStringList words = text.split(' ');
  for (QString& word : words) {
    if (metrics.horizontalAdvance(word) > kLongestWordPx) {
      word = metrics.elidedText(word, Qt::ElideMiddle, kLongestWordPx);
    }
  }
  return words.join(' ');
}

// Shows `text` in the label, shortened where needed, whole in its tool tip.
void SetShortened(QLabel* label, const QString& text) {
  const QString shown = ElideLongWords(text, label->fontMetrics());
  label->setText(shown);
  label->setToolTip(shown == text ? QString() : text);
}

void AddShortened(QListWidget* list, const QString& text) {
  const QString shown = ElideLongWords(text, list->fontMetrics());
  auto* item = new QListWidgetItem(shown, list);
  if (shown != text) item->setToolTip(text);
}

// "Com 2", as the window, the profile and messages name the entry.
QString EntryName(int port) { return QString::fromStdString(ComEntryName(port)); }

QString EntryLine(int port, const std::string& path) {
  // Whether a server answers is known only by connecting, which opening does.
  const bool network = IsNetworkAddress(path);
  const bool present = !network && SerialDeviceThere(path);
  return QStringLiteral("%1: %2 — %3")
      .arg(EntryName(port))
      .arg(QString::fromStdString(path))
      .arg(network ? QStringLiteral("network line")
                   : present ? QStringLiteral("present") : QStringLiteral("not present"));
}

}  // namespace

CPortsDlg::CPortsDlg(std::string profilePath, int currentPort, Assign assign, Lister list, QWidget* parent)
    : QDialog(parent), m_profilePath(std::move(profilePath)), m_assign(std::move(assign)), m_list(std::move(list)) {
  if (!m_list) m_list = ListSerialPorts;
  setWindowTitle(QStringLiteral("Ports"));

  auto* layout = new QVBoxLayout(this);
  AddEntryAndAdapterLists(layout);
  AddDevicePathRow(layout);
  AddLineOptionsRow(layout);
  AddMessageAndButtons(layout);

  Refresh();
  m_entries->setCurrentRow(std::clamp(currentPort, 1, kComEntries) - 1);
  resize(640, 420);
}

// The Com entries, and the adapters one of them may be given.
void CPortsDlg::AddEntryAndAdapterLists(QVBoxLayout* layout) {
  layout->addWidget(new QLabel(QStringLiteral("Com entries:"), this));
  m_entries = new QListWidget(this);
  m_entries->setObjectName(QStringLiteral("comEntries"));
  m_entries->setAccessibleName(QStringLiteral("Com entries"));
  layout->addWidget(m_entries);

  layout->addWidget(new QLabel(QStringLiteral("Serial adapters found:"), this));
  m_adapters = new QListWidget(this);
  m_adapters->setObjectName(QStringLiteral("adapters"));
  m_adapters->setAccessibleName(QStringLiteral("Serial adapters found"));
  layout->addWidget(m_adapters);

  connect(m_entries, &QListWidget::currentRowChanged, this, &CPortsDlg::ShowEntryChoice);
  connect(m_adapters, &QListWidget::currentRowChanged, this, &CPortsDlg::ChooseAdapter);
}

// The device the chosen entry is to stand for, typed or taken from the adapters.
void CPortsDlg::AddDevicePathRow(QVBoxLayout* layout) {
  auto* pathRow = new QHBoxLayout;
  auto* pathLabel = new QLabel(QStringLiteral("&Device path:"), this);
  m_path = new QLineEdit(this);
  m_path->setObjectName(QStringLiteral("devicePath"));
  m_path->setPlaceholderText(QString::fromStdString(DefaultDevicePath(1)) +
                             QStringLiteral(", or tcp://HOST:PORT or rfc2217://HOST:PORT for a serial server"));
  pathLabel->setBuddy(m_path);
  pathRow->addWidget(pathLabel);
  pathRow->addWidget(m_path, 1);
  layout->addLayout(pathRow);
  connect(m_path, &QLineEdit::returnPressed, this, &CPortsDlg::AssignChosen);
}

// How the chosen entry's line is driven; a change is applied at once.
void CPortsDlg::AddLineOptionsRow(QVBoxLayout* layout) {
  auto* optionsRow = new QHBoxLayout;
  m_optionsTitle = new QLabel(this);
  optionsRow->addWidget(m_optionsTitle);
  auto* echoLabel = new QLabel(QStringLiteral("&Echo:"), this);
  m_echo = new QComboBox(this);
  m_echo->setObjectName(QStringLiteral("echo"));
  for (EchoMode mode : kEchoChoices) m_echo->addItem(QString::fromUtf8(EchoModeText(mode).data()));
  m_echo->setToolTip(QStringLiteral("Whether the line returns what is sent (two-wire RS-485): "
                                    "auto finds out with the first frame after opening"));
  echoLabel->setBuddy(m_echo);
  auto* waitLabel = new QLabel(QStringLiteral("Answer &wait:"), this);
  m_answerWait = new QSpinBox(this);
  m_answerWait->setObjectName(QStringLiteral("answerWait"));
  // One step below the shortest wait stands for the link's own: "Auto".
  m_answerWait->setRange(kAutoWaitStep, kMaxAnswerWaitMs);
  m_answerWait->setSpecialValueText(QStringLiteral("Auto"));
  m_answerWait->setSuffix(QStringLiteral(" ms"));
  // Only a finished value is applied: typing 20 must not apply 2 first.
  m_answerWait->setKeyboardTracking(false);
  m_answerWait->installEventFilter(this);
  m_answerWait->setToolTip(QStringLiteral("How long an answer byte may take: Auto starts from the adapter's latency "
                                          "and rises when a whole answer comes late"));
  waitLabel->setBuddy(m_answerWait);
  m_rs485 = new QCheckBox(QStringLiteral("RS-&485 mode"), this);
  m_rs485->setObjectName(QStringLiteral("rs485"));
  m_rs485->setToolTip(QStringLiteral("Ask the driver to switch the RS-485 transmitter on while sending"));
  optionsRow->addWidget(echoLabel);
  optionsRow->addWidget(m_echo);
  optionsRow->addSpacing(12);
  optionsRow->addWidget(waitLabel);
  optionsRow->addWidget(m_answerWait);
  optionsRow->addSpacing(12);
  optionsRow->addWidget(m_rs485);
  optionsRow->addStretch(1);
  layout->addLayout(optionsRow);

  connect(m_echo, &QComboBox::currentIndexChanged, this, &CPortsDlg::ApplyLineOptions);
  connect(m_answerWait, &QSpinBox::valueChanged, this, &CPortsDlg::ApplyLineOptions);
  connect(m_rs485, &QCheckBox::toggled, this, &CPortsDlg::ApplyLineOptions);
  SetApplyOptions({});
}

// What the last step did, and the dialog's buttons.
void CPortsDlg::AddMessageAndButtons(QVBoxLayout* layout) {
  m_message = new QLabel(this);
  m_message->setObjectName(QStringLiteral("portsMessage"));
  m_message->setWordWrap(true);
  m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(m_message);

  auto* buttons = new QHBoxLayout;
  m_assignButton = new QPushButton(this);
  m_assignButton->setObjectName(QStringLiteral("assign"));
  auto* refresh = new QPushButton(QStringLiteral("&Refresh"), this);
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  buttons->addWidget(m_assignButton);
  buttons->addStretch(1);
  buttons->addWidget(refresh);
  buttons->addWidget(close);
  layout->addLayout(buttons);

  connect(m_assignButton, &QPushButton::clicked, this, &CPortsDlg::AssignChosen);
  connect(refresh, &QPushButton::clicked, this, &CPortsDlg::Refresh);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void CPortsDlg::Refresh() {
  const int entry = m_entries->currentRow();
  m_entries->clear();
  for (int port = 1; port <= kComEntries; ++port) {
    AddShortened(m_entries, EntryLine(port, PortDevicePath(m_profilePath, port)));
  }
  if (entry >= 0) m_entries->setCurrentRow(entry);

  const auto listed = m_list();
  m_found = listed.ValueOr({});
  m_adapters->clear();
  for (const SerialPortInfo& port : m_found) AddShortened(m_adapters, QString::fromStdString(port.Description()));
  if (m_found.empty()) {
    SetShortened(m_message, listed ? QStringLiteral("No serial adapter found; a path can still be typed.")
                                   : QString::fromStdString(listed.Failure().reason) +
                                         QStringLiteral("; a path can still be typed."));
  }
}

void CPortsDlg::ShowEntryChoice() {
  const int port = m_entries->currentRow() + 1;
  m_assignButton->setText(QStringLiteral("&Assign to %1").arg(EntryName(port)));
  m_assignButton->setEnabled(port >= 1);
  m_optionsTitle->setText(QStringLiteral("Line of %1:").arg(EntryName(port)));
  ShowLineOptions();
}

bool CPortsDlg::eventFilter(QObject* watched, QEvent* event) {
  // Enter in the answer wait applies the typed value, and nothing more: the
  // dialog would otherwise press its first button (Assign) as well.
  if (watched == m_answerWait && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      m_answerWait->interpretText();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void CPortsDlg::SetApplyOptions(ApplyOptions apply) {
  m_applyOptions = std::move(apply);
  for (QWidget* control : {static_cast<QWidget*>(m_echo), static_cast<QWidget*>(m_answerWait),
                           static_cast<QWidget*>(m_rs485)}) {
    control->setEnabled(static_cast<bool>(m_applyOptions));
  }
}

void CPortsDlg::ShowLineOptions() {
  const int port = m_entries->currentRow() + 1;
  if (port < 1) return;
  const LineOptions options = OptionsInProfile(m_profilePath, port);
  // Showing what is kept applies nothing.
  const QSignalBlocker echo(m_echo), wait(m_answerWait), rs485(m_rs485);
  const auto* choice = std::find(std::begin(kEchoChoices), std::end(kEchoChoices), options.echo);
  m_echo->setCurrentIndex(static_cast<int>(choice - std::begin(kEchoChoices)));
  m_answerWait->setValue(options.AnswerWaitAuto() ? kAutoWaitStep
                                                 : std::max(options.answerWaitMs, unit_protocol::kAnswerWindowMs));
  m_rs485->setChecked(options.rs485);
}

void CPortsDlg::ApplyLineOptions() {
  const int port = m_entries->currentRow() + 1;
  if (port < 1 || !m_applyOptions) return;
  LineOptions options;
  options.echo = kEchoChoices[std::clamp(m_echo->currentIndex(), 0, 2)];
  options.answerWaitMs = m_answerWait->value() == kAutoWaitStep ? kAnswerWaitAuto : m_answerWait->value();
  options.rs485 = m_rs485->isChecked();
  std::string error;
  if (!m_applyOptions(port, options, &error)) {
    SetShortened(m_message,
                 QStringLiteral("%1 line not changed: %2").arg(EntryName(port), QString::fromStdString(error)));
    ShowLineOptions();  // back to what is kept
    return;
  }
  SetShortened(m_message, QStringLiteral("%1: echo %2, answer wait %3, RS-485 mode %4")
                              .arg(EntryName(port))
                              .arg(QString::fromUtf8(EchoModeText(options.echo).data()))
                              .arg(options.AnswerWaitAuto() ? QStringLiteral("auto")
                                                            : QStringLiteral("%1 ms").arg(options.answerWaitMs))
                              .arg(options.rs485 ? QStringLiteral("on") : QStringLiteral("off")));
}

void CPortsDlg::ChooseAdapter() {
  const int row = m_adapters->currentRow();
  if (row < 0 || row >= static_cast<int>(m_found.size())) return;
  // The name that finds this adapter again after a replug.
  m_path->setText(QString::fromStdString(m_found[static_cast<size_t>(row)].StableName()));
}

void CPortsDlg::AssignChosen() {
  const int port = m_entries->currentRow() + 1;
  const std::string typed = m_path->text().trimmed().toStdString();
  if (port < 1) return;
  if (typed.empty()) {
    SetShortened(m_message, QStringLiteral("Choose an adapter or type a device path first."));
    return;
  }
  std::string path;
  std::string error;
  // A name that cannot be a line is refused here, as dimlet-cli refuses it,
  // rather than stored for every later open to fail on.
  error = LineNameProblem(typed);
  if (!error.empty()) error = ShownAddress(typed) + ": " + error;
  if (!error.empty() || !StoredDevicePath(typed, &path, &error) || !m_assign(port, path, &error)) {
    SetShortened(m_message, QStringLiteral("%1 not changed: %2").arg(EntryName(port), QString::fromStdString(error)));
    return;
  }
  SetShortened(m_message, QStringLiteral("%1 is now %2").arg(EntryName(port), QString::fromStdString(path)));
  Refresh();
}

void ShowMappedPaths(QComboBox* combo, const CPortMap& ports) {
  for (int i = 0; i < combo->count() && i < kComEntries; ++i) {
    combo->setItemData(i, QString::fromStdString(ports.DevicePath(i + 1)), Qt::ToolTipRole);
  }
}
