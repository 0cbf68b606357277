// dimlet-cli's journal writer: the adapter's serial number found once per
// device through the system's list of serial ports.
#include "cli/cli_journal.h"

#include <utility>

#include "device/serial_ports.h"

CliJournal::CliJournal(const std::string& version, std::string technician)
    : m_journal("dimlet-cli", version), m_technician(std::move(technician)) {}

std::string CliJournal::Append(const std::string& device, JournalEntry entry) {
  if (m_journal.Path().empty()) return {};
  entry.device = device;
  entry.technician = m_technician;
  {
    const std::lock_guard<std::mutex> hold(m_mutex);
    const auto known = m_serials.find(device);
    if (known != m_serials.end()) {
      entry.serial = known->second;
    } else {
      // A list that cannot be had leaves the serial number unknown; the
      // journal line is still written.
      for (const SerialPortInfo& port : ListSerialPorts().ValueOr({})) {
        if (port.IsNamed(device)) entry.serial = port.serial;
      }
      m_serials[device] = entry.serial;
    }
  }
  return m_journal.Append(entry);
}
