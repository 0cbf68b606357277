// CControllerDlg: the operator window. It owns the serial link and the control
// wrappers, reads and writes the process-wide settings record, and runs one
// handler per operator action.
#pragma once

#include <QDialog>
#include <QHash>
#include <QIcon>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/serial_link.h"
#include "device/unit_commands.h"
#include "settings/journal.h"
#include "settings/led_settings.h"
#include "settings/port_map.h"
#include "settings/profile_store.h"

class CByteTraceFile;
class CLinkFollower;
class CSettingsSaver;
class CSlider;
class CUpDown;
class CMessageBoxes;
struct SettingsSaveResult;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QScrollArea;

class CControllerDlg : public QDialog {
  Q_OBJECT

 public:
  // The window works on `settings`, keeps it in the profile at `profilePath`
  // (whose [Ports] section also maps Com 1..4 to devices) and shows its fixed
  // messages through `boxes`; all three must outlive it. Construction only
  // builds the controls: nothing is loaded, opened or sent until Start().
  CControllerDlg(LedSettings& settings, std::string profilePath, CMessageBoxes& boxes,
                 QWidget* parent = nullptr);
  ~CControllerDlg() override;

  // The start-up, in its fixed order: profile loaded, port opened, list and
  // combos filled, ranges set, the highest sequence sent to unit 0, row 0
  // shown. Runs once; later calls do nothing.
  void Start();

  // Writes every byte the link sends and receives to `trace`, which must
  // outlive the window. Before Start(), so the first frame is in it too.
  void TraceBytes(CByteTraceFile& trace);

  // Ends the window the way Exit does, for a request from outside (a signal
  // of the session or the terminal): a box waiting for OK is closed, a
  // handler that is running finishes first, and no further box is shown.
  void EndAsExit();

 private:
  friend class CControllerDlgTestAccess;  // the tests' one way inside

  // The control with this id, or nullptr.
  QWidget* Control(int id) const { return m_controls.value(id, nullptr); }
  template <class T>
  T* ControlAs(int id) const {
    return qobject_cast<T*>(Control(id));
  }

  // Members bound to controls and state of the handlers.
  CSerialLink m_link;
  int32_t m_curRow = 0;
  int32_t m_unitId = 0;
  int32_t m_maxSq = 0;
  int32_t m_newId = 0;
  int32_t m_running = 0;
  int32_t m_ch1 = 0;
  int32_t m_ch2 = 0;
  int32_t m_ch3 = 0;
  int32_t m_ch4 = 0;
  int32_t m_allRows = 0;
  QIcon m_hIcon;

  // The event and data binding tables (event_bindings.cpp, data_exchange.cpp).
  struct EventBinding;
  struct DataBinding;
  static const EventBinding kEventBindings[];
  static const DataBinding kDataBindings[];

  // The two-way transfer over the binding table: members into the value boxes
  // and check box, or back.
  void TransferToControls();
  void TransferFromControls();

  // Handlers, one per (notification, control), each given the control's id.
  void OnPortChoice(int id);
  void OnSequenceChoice(int id);
  void OnListChoice(int id);
  void OnUnitChoice(int id);
  void OnSliderTracking(int id);
  void OnSliderCommitted(int id);
  void OnDownload(int id);
  void OnUpload(int id);
  void OnStore(int id);
  void OnLoadAllClicked(int id);
  void OnSetAllMin(int id);
  void OnSetAllMax(int id);
  void OnRunToggle(int id);
  void OnNewIdText(int id);
  void OnNewId(int id);
  void OnMaxSqText(int id);
  void OnExit(int id);

  void ShowAbout();
  // Shows one of the fixed messages, unless the window is ending. False when
  // the window is ending, before the box or while it was open: a confirmation
  // then counts as not given.
  bool ShowBox(const QString& text);
  // The "Error1" to "Error4" boxes of the channels a read found missing, in
  // order. Shown once the link has watched the line after the answer: a box
  // held open while a late answer comes would count in its lateness.
  void ShowMissingAnswers();
  // Runs one handler; ends the window afterwards if that was asked meanwhile.
  void RunHandler(void (CControllerDlg::*handler)(int), int id);
  // The "Ports…" dialog, and the mapping it asks for: Com `port` to `path`,
  // saved in the profile, the link reopened on it at once when it is the
  // current entry.
  void ShowPorts();
  bool AssignPort(int port, const std::string& path, std::string* error);
  // Keeps Com `port`'s line options in the profile and gives them to the link
  // when it is the current entry (reopened for a change of RS-485 mode).
  bool ApplyLineOptions(int port, const LineOptions& options, std::string* error);

  // Redraws the status line from the link and the last save.
  void UpdateStatusLine();
  void TakeSaveResult(const SettingsSaveResult& result);
  // Waits until every queued save of the settings is on disk and shows how
  // the last one went.
  void FlushSaves();

  // Builds the controls from the template (controller_controls.cpp).
  void BuildControls();
  void ConnectEvents();
  // Sizes the window to its page, or to `area` less a frame when the page
  // does not fit there: the scroll area then shows bars and every control
  // can still be reached.
  void FitToArea(const QRect& area);

  void RefreshFromRow();
  void RebuildSequenceList();
  void SelectListLine(int row);
  void SetSlidersFromMembers();
  void CopyRowToMembers();
  void BulkFill(int32_t value);
  void SaveSettings();
  // After a command that changes a unit (its outcome in m_outcome): its line
  // in the journal, when the line was open for it, with the rows or value as
  // the handler's frames put them on the wire and, where they differ, as
  // asked. A journal that cannot be written is told once on standard error
  // and shown on the status line.
  void JournalCommand(unit_commands::UnitCommand command, std::vector<JournalRow> asked = {},
                      std::optional<int> askedValue = {});
  // Looks up the serial number of the adapter behind the open line for the
  // journal, once per open, so that a command waits for no more than its line.
  void RememberAdapterSerial();
  void ReopenPort();
  // Opens the link on the record's Com entry with that entry's line options.
  void OpenOnComEntry();
  int32_t& Channel(int channel);  // m_ch1..m_ch4 by 0..3

  LedSettings& m_settings;
  std::string m_profilePath;
  CMessageBoxes& m_boxes;
  std::unique_ptr<CSettingsSaver> m_saver;
  std::unique_ptr<CLinkFollower> m_follower;  // after m_link: goes before it

  QScrollArea* m_scroll = nullptr;
  QWidget* m_page = nullptr;  // holds every control, at the template's size
  QHash<int, QWidget*> m_controls;
  std::array<CSlider*, kChannels> m_sliders{};
  CUpDown* m_newIdUpDown = nullptr;
  CUpDown* m_maxSqUpDown = nullptr;
  QComboBox* m_comCombo = nullptr;
  QComboBox* m_unitCombo = nullptr;
  QComboBox* m_sequenceCombo = nullptr;
  QListWidget* m_sequenceList = nullptr;
  QPushButton* m_runButton = nullptr;
  QLabel* m_statusLine = nullptr;  // a CStatusLine

  bool m_started = false;
  bool m_endRequested = false;  // EndAsExit() came while a handler ran
  int m_handlersRunning = 0;    // more than one while a box's own loop runs another
  bool m_programSelection = false;  // list selections made by the program run no handler
  std::string m_saveError;          // why the last save failed; empty after a good one
  std::string m_profileUnread;      // why start-up could not read the profile (defaults used); cleared by a good save
  std::vector<ReplacedValue> m_replaced;  // values start-up could not read; cleared by a good save
  std::vector<std::string> m_changedElsewhere;  // keys the last good save found changed by another program too
  std::vector<std::string> m_keptElsewhere;     // cells read from a unit that the file changed later
  CPortMap m_ports;                 // the device map of the last reading of the profile
  std::string m_outcome;            // what the last command did, for the status line
  std::vector<int> m_missingChannels;  // channels (1-4) of the row read that did not come, boxes not shown yet
  CJournal m_journal;               // every command that changes a unit, with its outcome
  std::string m_journalError;       // why the journal could not be written; empty after a line that was
  std::string m_serialDevice;       // the device whose adapter's serial number is m_serial
  std::string m_serial;
  bool m_openAtCommand = false;     // the link was open when the running handler began
};
