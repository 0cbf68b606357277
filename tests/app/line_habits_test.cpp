// The line as it is in the field, seen from the window: an echoing line whose
// echo never shows as a unit's values, what each command did told in the
// outcome row, and each Com entry's line options kept in the profile and
// given to the link. (A held line: held_line_test.cpp.)
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSpinBox>
#include <QTest>

#include "app/dialog_template.h"
#include "app/ports_dlg.h"
#include "support/row_names.h"
#include "window_fixture.h"

namespace {

using Row = std::array<int32_t, 4>;

class LineHabitsTest : public WindowTest {
 protected:
  // The status line's words in full, as a screen reader gets them.
  std::string Status() { return Inside().StatusLine()->accessibleDescription().toStdString(); }
  bool StatusHas(const std::string& words) { return Status().find(words) != std::string::npos; }
};

TEST_F(LineHabitsTest, OnAnEchoingLineUploadShowsTheUnitsValuesAndDownloadReachesIt) {
  sim::SimOptions options;
  options.echo = true;
  StartSim(options);
  StartWindow();  // echo left at auto
  for (int row = 0; row < 8; ++row) m_sim->SetUnitRow(0, row, {row + 1, 20, 30, 40 + row});

  Click(ctl::kUpload);
  EXPECT_EQ(m_settings.seq.Row(0), (Row{1, 20, 30, 40})) << "the echo of the frame was taken as the row";
  EXPECT_TRUE(StatusHas("open, 9600 baud; echoes")) << Status();
  EXPECT_TRUE(StatusHas("KIVO 0: row 1 read")) << Status();

  Click(ctl::kAllRows);
  Click(ctl::kUpload);
  for (int row = 0; row < 8; ++row) EXPECT_EQ(m_settings.seq.Row(row), (Row{row + 1, 20, 30, 40 + row})) << row;
  EXPECT_TRUE(StatusHas("KIVO 0: 8 rows read")) << Status();

  Click(ctl::kSetAllMax);
  Click(ctl::kDownload);
  for (int row = 0; row < 8; ++row) EXPECT_EQ(m_sim->Unit(0).rows[row], (std::array<int, 4>{255, 255, 255, 255}));
  EXPECT_TRUE(StatusHas("KIVO 0: 8 rows sent")) << Status();
  EXPECT_EQ(m_boxes.texts, (QStringList{"Upload all sequent?", "Download all sequent?"}));
}

// What each command did, told in the window's own numbers: unit KIVO 2,
// Sequent 3.
struct OutcomeCase {
  std::string name;
  int control;
  std::string outcome;
  const char* typed = nullptr;  // into the control, an edit, instead of a click
  int answerBytes = 4;
  bool allRows = false;
  const char* device = nullptr;  // Com 1's device instead of the simulator
  int hangUpAtFrame = 0;         // the simulator's line hangs up when it sees this frame of the command
};

class OutcomeRowTest : public LineHabitsTest, public testing::WithParamInterface<OutcomeCase> {};

TEST_P(OutcomeRowTest, SaysWhatWasSentToWhichUnit) {
  const OutcomeCase& c = GetParam();
  sim::SimOptions options;
  options.answerBytes = c.answerBytes;
  StartSim(options);
  StartWindow("", 1, c.device ? c.device : "");
  ChooseComboEntry(ctl::kUnitCombo, 2);
  ChooseComboEntry(ctl::kSequenceCombo, 2);
  if (c.allRows) Click(ctl::kAllRows);
  int frames = 0;
  if (c.hangUpAtFrame > 0) {
    m_sim->SetLogSink([this, &frames, &c](const std::string&) {
      if (++frames == c.hangUpAtFrame) m_sim->HangUp();  // before the frame's answer
    });
  }
  if (c.typed) {
    ClearEdit(c.control);
    TypeInto(c.control, QString::fromUtf8(c.typed));
  } else {
    Click(c.control);
  }
  EXPECT_TRUE(StatusHas("\n" + c.outcome + "\n") || Status().ends_with("\n" + c.outcome)) << Status();
  m_sim->SetLogSink({});
}

INSTANTIATE_TEST_SUITE_P(
    Commands, OutcomeRowTest,
    testing::Values(OutcomeCase{"download row", ctl::kDownload, "KIVO 2: row 3 sent"},
                    OutcomeCase{"upload row", ctl::kUpload, "KIVO 2: row 3 read"},
                    OutcomeCase{"upload row half answered", ctl::kUpload, "KIVO 2: row 3 read, 2 channels missing",
                                nullptr, 2},
                    OutcomeCase{"upload row unanswered", ctl::kUpload, "KIVO 2: no answer to row 3", nullptr, 0},
                    OutcomeCase{"store", ctl::kSave, "KIVO 2: store sent"},
                    OutcomeCase{"run", ctl::kRunStop, "KIVO 2: run sent"},
                    OutcomeCase{"new address", ctl::kNewId, "KIVO 2: address 0 sent"},
                    OutcomeCase{"highest sequence over its limit", ctl::kMaxSqEdit, "KIVO 2: highest sequence 8 sent",
                                "12"},
                    OutcomeCase{"all rows to a port that is not open", ctl::kDownload,
                                "KIVO 2: not sent: the port is not open", nullptr, 4, true, "/nonexistent/tty"},
                    OutcomeCase{"all rows until the line went away", ctl::kUpload,
                                "KIVO 2: 5 rows read, then the line went away", nullptr, 4, true, nullptr, 6}),
    testsupport::RowName{});

// The line options as the Ports… dialog shows them for Com `port`.
LineOptions ShownOptions(CPortsDlg& dialog) {
  auto* echo = dialog.findChild<QComboBox*>(QStringLiteral("echo"));
  auto* wait = dialog.findChild<QSpinBox*>(QStringLiteral("answerWait"));
  auto* rs485 = dialog.findChild<QCheckBox*>(QStringLiteral("rs485"));
  if (!echo || !wait || !rs485) return {};
  // The spin box's lowest value is shown as "Auto".
  const int ms = wait->value() == wait->minimum() ? kAnswerWaitAuto : wait->value();
  return {EchoModeFromText(echo->currentText().toStdString()).value_or(EchoMode::kAuto), ms, rs485->isChecked()};
}

LineResult<std::vector<SerialPortInfo>> NoAdapters() { return std::vector<SerialPortInfo>{}; }

TEST_F(LineHabitsTest, PortsDialogLineOptionsReachTheLinkAndSurviveARestart) {
  // A line without echo; an RS-485 choice written by hand in a form not understood.
  StartWindow("; mine\n[Ports]\nCom 1 RS-485=yes\n");
  EXPECT_TRUE(StatusHas("Com 1 RS-485 \u201cyes\u201d")) << "an unreadable line option went unnamed: " << Status();
  auto noAssign = [](int, const std::string&, std::string*) { return true; };
  {
    CPortsDlg dialog(m_profilePath, 1, noAssign, NoAdapters);
    dialog.SetApplyOptions([this](int port, const LineOptions& options, std::string* error) {
      return Inside().ApplyLineOptions(port, options, error);
    });
    dialog.show();  // its buttons take Enter only when shown
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(ShownOptions(dialog), (LineOptions{EchoMode::kAuto, kAnswerWaitAuto, false})) << "defaults: auto, auto, off";
    EXPECT_EQ(dialog.findChild<QSpinBox*>(QStringLiteral("answerWait"))->text().toStdString(), "Auto");
    dialog.findChild<QComboBox*>(QStringLiteral("echo"))->setCurrentIndex(1);
    // Typed and entered: Enter applies the wait and presses no button of the dialog.
    auto* wait = dialog.findChild<QSpinBox*>(QStringLiteral("answerWait"));
    wait->selectAll();
    QTest::keyClicks(wait, QStringLiteral("20"));
    QTest::keyClick(wait, Qt::Key_Return);
    EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("portsMessage"))->text().toStdString(),
              "Com 1: echo on, answer wait 20 ms, RS-485 mode off");
    QTest::mouseClick(dialog.findChild<QCheckBox*>(QStringLiteral("rs485")), Qt::LeftButton);
  }
  const LineOptions chosen{EchoMode::kOn, 20, true};
  EXPECT_EQ(Inside().Link().Options(), chosen);
  EXPECT_TRUE(Inside().Link().IsPortOpen()) << Status();
  if (!WhyNot(Need::kSerialDriver)) {
    EXPECT_TRUE(StatusHas("no RS-485 mode in this driver: used as it is")) << "not reopened for RS-485: " << Status();
  }
  EXPECT_FALSE(StatusHas("RS-485 \u201c")) << "set in the dialog, it is no longer unreadable: " << Status();
  const std::string profile = ReadProfile();
  for (const char* key : {"; mine\n", "Com 1 Echo=on\n", "Com 1 Answer Wait=20\n", "Com 1 RS-485=on\n"})
    EXPECT_NE(profile.find(key), std::string::npos) << key << " missing from\n" << profile;

  // Told that it echoes, the plain line's missing echo is a fault, not a success.
  Click(ctl::kSave);
  EXPECT_TRUE(StatusHas("KIVO 0: the line returned nothing of what was sent")) << Status();

  m_dlg.reset();
  m_dlg = std::make_unique<CControllerDlg>(m_settings, m_profilePath, m_boxes);
  m_dlg->Start();
  EXPECT_EQ(Inside().Link().Options(), chosen) << "the options did not reach the link at start-up";
  CPortsDlg again(m_profilePath, 1, noAssign, NoAdapters);
  EXPECT_EQ(ShownOptions(again), chosen);
}

}  // namespace
