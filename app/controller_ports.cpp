// The window's side of choosing a device for a Com entry: the "Ports…"
// dialog, and saving its choice and reopening the link on it.
#include <QComboBox>

#include "app/controller_dlg.h"
#include "app/link_follower.h"
#include "app/ports_dlg.h"
#include "app/settings_saver.h"
#include "settings/port_map.h"

void CControllerDlg::ShowPorts() {
  CPortsDlg ports(m_profilePath, m_settings.comPort,
                  [this](int port, const std::string& path, std::string* error) {
                    return AssignPort(port, path, error);
                  },
                  {}, this);
  ports.exec();
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
