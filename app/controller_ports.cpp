// The window's side of choosing a device for a Com entry and how its line is
// driven: the "Ports…" dialog, saving its choices and reopening the link.
#include <QComboBox>

#include "app/controller_dlg.h"
#include "app/link_follower.h"
#include "app/ports_dlg.h"
#include "app/settings_saver.h"
#include "device/byte_trace.h"
#include "settings/port_map.h"
#include "settings/profile_store.h"

void CControllerDlg::ShowPorts() {
  CPortsDlg ports(m_profilePath, m_settings.comPort,
                  [this](int port, const std::string& path, std::string* error) {
                    return AssignPort(port, path, error);
                  },
                  {}, this);
  ports.SetApplyOptions([this](int port, const LineOptions& options, std::string* error) {
    return ApplyLineOptions(port, options, error);
  });
  ports.exec();
}

void CControllerDlg::TraceBytes(CByteTraceFile& trace) { m_link.SetByteTrace(trace.For(m_link)); }

void CControllerDlg::OpenOnComEntry() {
  m_link.SetLineOptions(m_ports.Entry(m_settings.comPort).options);
  m_link.OpenPort(m_settings.comPort, kLineBaud);
  if (m_link.IsPortOpen()) RememberAdapterSerial();
}

bool CControllerDlg::ApplyLineOptions(int port, const LineOptions& options, std::string* error) {
  m_saver->Flush();  // as for a device path: neither write may lose the other's change
  if (!SetPortLineOptions(m_profilePath, port, options, error, &m_ports)) return false;
  if (port == m_settings.comPort) {
    if (options.rs485 != m_link.Options().rs485) {
      // The driver is asked for RS-485 mode only when the line opens.
      CLinkFollower::CommandScope command(*m_follower);
      ReopenPort();
    } else {
      m_link.SetLineOptions(options);
    }
  }
  UpdateStatusLine();
  return true;
}

bool CControllerDlg::AssignPort(int port, const std::string& path, std::string* error) {
  // Settings saves run on the saver's thread; the map is written only once
  // they are done, so neither write loses the other's change.
  m_saver->Flush();
  if (!SetPortDevicePath(m_profilePath, port, path, error, &m_ports)) return false;
  ShowMappedPaths(m_comCombo, m_ports);
  if (port == m_settings.comPort) {
    CLinkFollower::CommandScope command(*m_follower);
    ReopenPort();
  }
  UpdateStatusLine();
  return true;
}
