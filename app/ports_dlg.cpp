// The "Ports…" dialog.
#include "app/ports_dlg.h"

#include <unistd.h>

#include <QComboBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>
#include <algorithm>

#include "device/network_address.h"
#include "settings/port_map.h"

namespace {

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

QString EntryLine(int port, const std::string& path) {
  // Whether a server answers is known only by connecting, which opening does.
  const bool network = IsNetworkAddress(path);
  const bool present = !network && access(path.c_str(), F_OK) == 0;
  return QStringLiteral("Com %1: %2 — %3")
      .arg(port)
      .arg(QString::fromStdString(path))
      .arg(network ? QStringLiteral("network line")
                   : present ? QStringLiteral("present") : QStringLiteral("not present"));
}

}  // namespace

CPortsDlg::CPortsDlg(std::string profilePath, int currentPort, Assign assign, Lister list, QWidget* parent)
    : QDialog(parent), m_profilePath(std::move(profilePath)), m_assign(std::move(assign)), m_list(std::move(list)) {
  if (!m_list) m_list = [](std::string* error) { return ListSerialPorts(error); };
  setWindowTitle(QStringLiteral("Ports"));

  auto* layout = new QVBoxLayout(this);
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

  auto* pathRow = new QHBoxLayout;
  auto* pathLabel = new QLabel(QStringLiteral("&Device path:"), this);
  m_path = new QLineEdit(this);
  m_path->setObjectName(QStringLiteral("devicePath"));
  m_path->setPlaceholderText(QStringLiteral("/dev/ttyUSB0, or tcp://HOST:PORT or rfc2217://HOST:PORT for a serial server"));
  pathLabel->setBuddy(m_path);
  pathRow->addWidget(pathLabel);
  pathRow->addWidget(m_path, 1);
  layout->addLayout(pathRow);

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

  connect(m_entries, &QListWidget::currentRowChanged, this, &CPortsDlg::ShowEntryChoice);
  connect(m_adapters, &QListWidget::currentRowChanged, this, &CPortsDlg::ChooseAdapter);
  connect(m_assignButton, &QPushButton::clicked, this, &CPortsDlg::AssignChosen);
  connect(m_path, &QLineEdit::returnPressed, this, &CPortsDlg::AssignChosen);
  connect(refresh, &QPushButton::clicked, this, &CPortsDlg::Refresh);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);

  Refresh();
  m_entries->setCurrentRow(std::clamp(currentPort, 1, kComEntries) - 1);
  resize(640, 420);
}

void CPortsDlg::Refresh() {
  const int entry = m_entries->currentRow();
  m_entries->clear();
  for (int port = 1; port <= kComEntries; ++port) {
    AddShortened(m_entries, EntryLine(port, PortDevicePath(m_profilePath, port)));
  }
  if (entry >= 0) m_entries->setCurrentRow(entry);

  std::string error;
  m_found = m_list(&error);
  m_adapters->clear();
  for (const SerialPortInfo& port : m_found) AddShortened(m_adapters, QString::fromStdString(port.Description()));
  if (m_found.empty()) {
    SetShortened(m_message, error.empty() ? QStringLiteral("No serial adapter found; a path can still be typed.")
                                          : QString::fromStdString(error) +
                                                QStringLiteral("; a path can still be typed."));
  }
}

void CPortsDlg::ShowEntryChoice() {
  const int port = m_entries->currentRow() + 1;
  m_assignButton->setText(QStringLiteral("&Assign to Com %1").arg(port));
  m_assignButton->setEnabled(port >= 1);
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
  if (!StoredDevicePath(typed, &path, &error) || !m_assign(port, path, &error)) {
    SetShortened(m_message, QStringLiteral("Com %1 not changed: %2").arg(port).arg(QString::fromStdString(error)));
    return;
  }
  SetShortened(m_message, QStringLiteral("Com %1 is now %2").arg(port).arg(QString::fromStdString(path)));
  Refresh();
}

void ShowMappedPaths(QComboBox* combo, const CPortMap& ports) {
  for (int i = 0; i < combo->count() && i < kComEntries; ++i) {
    combo->setItemData(i, QString::fromStdString(ports.DevicePath(i + 1)), Qt::ToolTipRole);
  }
}
