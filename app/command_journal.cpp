// The window's commands in the journal (settings/journal.h): each handler
// that sends a command changing a unit calls JournalCommand once its outcome
// row is set, so the journal keeps the outcome as the operator read it.
#include <iostream>

#include "app/controller_dlg.h"
#include "device/serial_ports.h"
#include "device/wire_journal.h"

void CControllerDlg::RememberAdapterSerial() {
  m_serialDevice = m_link.DevicePath();
  m_serial.clear();
  // A list that cannot be had leaves the number unknown.
  for (const SerialPortInfo& port : ListSerialPorts().ValueOr({})) {
    if (port.IsNamed(m_serialDevice)) m_serial = port.serial;
  }
}

void CControllerDlg::JournalCommand(unit_commands::UnitCommand command, std::vector<JournalRow> asked,
                                    std::optional<int> askedValue) {
  // What went on the wire is the link's record of the handler's frames; what
  // the window asked for is kept beside it where it differs.
  const WireJournal wire = WireJournalOf(m_link.TakeRecords());
  // Nothing reached a unit on a line that was not open.
  if (!m_openAtCommand) return;
  JournalEntry entry = JournalFor(m_unitId, "", unit_commands::JournalName(command), m_outcome);
  entry.device = m_link.DevicePath();
  entry.rows = wire.rows;
  entry.askedRows = std::move(asked);
  entry.value = askedValue ? wire.value : std::nullopt;
  entry.askedValue = askedValue;
  if (m_serialDevice == entry.device) entry.serial = m_serial;
  const std::string told = m_journal.Append(entry);
  if (!told.empty()) std::cerr << "dimlet: " << told << '\n';
  if (!told.empty()) {
    m_journalError = told;
  } else if (m_journal.LastWritten()) {
    m_journalError.clear();
  }
}
