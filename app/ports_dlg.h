// CPortsDlg: the "Ports…" dialog. Shows what each Com entry is mapped to and
// whether that device is present, lists the serial adapters found with their
// descriptions, and maps a Com entry to a chosen adapter or to any typed path
// (stored absolute). Long paths are shortened in its lines, whole in tool tips.
// Also sets how the chosen entry's line is driven: echo, answer wait and
// RS-485 mode.
#pragma once

#include "settings/port_map.h"

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "device/serial_ports.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QVBoxLayout;

class CPortsDlg : public QDialog {
  Q_OBJECT

 public:
  // Maps Com `port` to `path`; false with *error set when that failed.
  using Assign = std::function<bool(int port, const std::string& path, std::string* error)>;
  // The adapters to offer; on failure empty, with *error set.
  using Lister = std::function<LineResult<std::vector<SerialPortInfo>>()>;

  // Reads the map from the profile at `profilePath`; starts on Com
  // `currentPort`. `assign` does the mapping (the window saves it and
  // reopens its link); `list` finds the adapters (udev by default).
  CPortsDlg(std::string profilePath, int currentPort, Assign assign, Lister list = {}, QWidget* parent = nullptr);

  // Gives Com `port` the line options `options`; false with *error set when
  // that failed.
  using ApplyOptions = std::function<bool(int port, const LineOptions& options, std::string* error)>;
  // Without it the line options are shown but cannot be changed.
  void SetApplyOptions(ApplyOptions apply);

  // Reads the map and the adapters afresh.
  void Refresh();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The dialog's parts, top to bottom, each with its controls' connections.
  void AddEntryAndAdapterLists(QVBoxLayout* layout);
  void AddDevicePathRow(QVBoxLayout* layout);
  void AddLineOptionsRow(QVBoxLayout* layout);
  void AddMessageAndButtons(QVBoxLayout* layout);

  void ChooseAdapter();
  void AssignChosen();
  void ShowEntryChoice();
  // The chosen entry's options, as the profile holds them, into the controls.
  void ShowLineOptions();
  // The controls' options to the chosen entry.
  void ApplyLineOptions();

  std::string m_profilePath;
  Assign m_assign;
  Lister m_list;
  std::vector<SerialPortInfo> m_found;
  QListWidget* m_entries = nullptr;
  QListWidget* m_adapters = nullptr;
  QLineEdit* m_path = nullptr;
  QPushButton* m_assignButton = nullptr;
  QLabel* m_message = nullptr;
  ApplyOptions m_applyOptions;
  QLabel* m_optionsTitle = nullptr;
  QComboBox* m_echo = nullptr;
  QSpinBox* m_answerWait = nullptr;
  QCheckBox* m_rs485 = nullptr;
};

// Gives each "Com n" entry of `combo` (entry n-1) its mapped device path as
// tool tip, from the device map the window holds.
void ShowMappedPaths(QComboBox* combo, const CPortMap& ports);
