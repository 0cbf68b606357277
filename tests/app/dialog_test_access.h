// The tests' one way inside the operator window: its controls by id, its
// link, the members the handlers keep, and waiting for queued saves.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "app/controller_dlg.h"

class QLabel;
class QScrollArea;

class CControllerDlgTestAccess {
 public:
  explicit CControllerDlgTestAccess(CControllerDlg& dlg) : m_dlg(dlg) {}

  QWidget* Control(int id) const { return m_dlg.Control(id); }
  template <class T>
  T* ControlAs(int id) const {
    return m_dlg.ControlAs<T>(id);
  }
  CSlider* Slider(int channel) const { return m_dlg.m_sliders[channel]; }  // 0..3
  QLabel* StatusLine() const { return m_dlg.m_statusLine; }
  QScrollArea* ScrollArea() const { return m_dlg.m_scroll; }
  // Sizes the window for a screen whose free area is `area`.
  void FitToArea(const QRect& area) { m_dlg.FitToArea(area); }
  const CSerialLink& Link() const { return m_dlg.m_link; }

  int32_t CurRow() const { return m_dlg.m_curRow; }
  int32_t UnitId() const { return m_dlg.m_unitId; }
  int32_t MaxSq() const { return m_dlg.m_maxSq; }
  int32_t AllRows() const { return m_dlg.m_allRows; }
  std::array<int32_t, 4> Channels() const { return {m_dlg.m_ch1, m_dlg.m_ch2, m_dlg.m_ch3, m_dlg.m_ch4}; }

  // Maps Com `port` to `path` as the "Ports…" dialog does.
  bool AssignPort(int port, const std::string& path, std::string* error) {
    return m_dlg.AssignPort(port, path, error);
  }

  // Gives Com `port` line options as the "Ports…" dialog does.
  bool ApplyLineOptions(int port, const LineOptions& options, std::string* error) {
    return m_dlg.ApplyLineOptions(port, options, error);
  }

  // Returns once every queued save is on disk, with the status line redrawn.
  void FlushSaves() { m_dlg.FlushSaves(); }

 private:
  CControllerDlg& m_dlg;
};
