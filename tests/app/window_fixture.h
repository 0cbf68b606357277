// A window test's world: a profile file in a folder of its own, a simulated
// unit line that Com 1 is mapped to, and the operator window against both,
// with message boxes recorded instead of shown. How the line is reached is
// the system's: a pseudo-terminal on Linux (window_fixture_pty.cpp), TCP on
// Windows (window_fixture_windows.cpp).
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/controller_dlg.h"
#include "app/message_boxes.h"
#include "dialog_test_access.h"
#include "sim/sim_line.h"
#include "support/temp_folder.h"

class QWidget;

class RecordedBoxes : public CMessageBoxes {
 public:
  void Show(QWidget* parent, const QString& text) override;
  QStringList texts;
  std::function<void(const QString&)> onShow;  // runs while the box would be open
};

class WindowTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the simulated line (if not yet) and the window on a profile that
  // holds `profileText` plus a [Ports] entry that maps Com `comEntry` to the
  // simulator (or to `devicePath` when given), waiting 30 ms for answers
  // unless `profileText` has a [Ports] section of its own.
  void StartWindow(const std::string& profileText = "", int comEntry = 1, const std::string& devicePath = "");
  // Moves slider `channel` (0..3) by `steps` values with the mouse; `whileHeld`
  // runs before the button is released.
  void DragSlider(int channel, int steps, const std::function<void()>& whileHeld = {});
  // How long Com 1 waits for an answer, in ms: longer over wine's sockets,
  // which a busy machine holds back by tens of ms.
  static const int kAnswerWaitMs;
  // Starts the simulator with `options` and points m_linkPath at it.
  void StartSim(sim::SimOptions options = {});

  // What a check needs of the system beyond the window and a line that moves bytes.
  enum class Need {
    kExclusiveDevice,   // a second opener of Com 1's device is refused as "in use by another program"
    kLoadedLibraryList, // /proc/self/maps, listing what the process has loaded
    kLinuxDevicePaths,  // device nodes and path rules of Linux (/dev/null, /dev/serial/by-id, ~/)
    kSerialDriver,      // Com 1 is a serial port whose driver is asked for RS-485 mode
  };
  // Why this system cannot give `need` here (the reason for a skip), or
  // nullptr when it can.
  static const char* WhyNot(Need need);
  // The status line's words for Com 1's line gone from under the window.
  static const char* LostLineWords();
  // Another simulated line, started, for a test that moves Com 1 to it.
  static std::unique_ptr<sim::SimLine> StartOtherSim();

  // Waits for the simulator to have seen `count` frames and returns the bytes
  // of all frames, in order.
  std::vector<std::vector<uint8_t>> Frames(size_t count);
  // Waits a moment for stray frames and returns every frame seen so far.
  std::vector<std::vector<uint8_t>> AllFrames();
  void ForgetFrames();

  void Click(int id);
  void ChooseComboEntry(int id, int index);  // as the operator does, by keys
  void ClickListLine(int row);
  void TypeInto(int id, const QString& keys);
  void ClearEdit(int id);
  QString Text(int id) const;
  QStringList ListLines() const;
  int SelectedListLine() const;  // -1 when none
  std::string ReadProfile() const;
  // The window's inside, through the tests' accessor.
  CControllerDlgTestAccess Inside() const { return CControllerDlgTestAccess(*m_dlg); }

  testsupport::TempFolder m_folder;
  std::string m_dir = m_folder.Path();
  std::string m_profilePath;
  std::string m_linkPath;  // where Com 1 reaches the simulator, once started
  std::unique_ptr<sim::SimLine> m_sim;
  LedSettings m_settings;
  RecordedBoxes m_boxes;
  std::unique_ptr<CControllerDlg> m_dlg;
};

using Frame = std::vector<uint8_t>;
