// Every operator action, end to end: real input events on the window, frames
// checked as the simulated units received them, and the table, controls and
// profile afterwards.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <regex>

#include "app/dialog_template.h"
#include "app/slider.h"
#include "window_fixture.h"

class CommandsTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    StartWindow();
    Frames(1);  // the highest sequence sent at start-up
    ForgetFrames();
  }
  void TickAllRows() { Click(ctl::kAllRows); }
  std::array<int32_t, 4> Members() const { return Inside().Channels(); }
  std::array<QString, 4> ValueBoxes() const {
    return {Text(ctl::kCh1Value), Text(ctl::kCh2Value), Text(ctl::kCh3Value), Text(ctl::kCh4Value)};
  }
  std::array<int32_t, 4> Sliders() const {
    return {Inside().Slider(0)->GetValue(), Inside().Slider(1)->GetValue(), Inside().Slider(2)->GetValue(),
            Inside().Slider(3)->GetValue()};
  }
};

TEST_F(CommandsTest, SetAllMaxFillsTheCurrentRowOrAllRowsWithoutSavingOrSending) {
  const std::string profileBefore = ReadProfile();
  ChooseComboEntry(ctl::kSequenceCombo, 2);
  Click(ctl::kSetAllMax);
  EXPECT_EQ(m_settings.seq.Row(2), (std::array<int32_t, 4>{255, 255, 255, 255}));
  EXPECT_EQ(m_settings.seq.Row(1), (std::array<int32_t, 4>{128, 128, 128, 128}));
  EXPECT_EQ(ListLines()[2], "SEQ-  3. 1= 255, 2= 255, 3= 255, 4= 255");
  EXPECT_EQ(ListLines()[1], "SEQ-  2. 1= 128, 2= 128, 3= 128, 4= 128");
  EXPECT_EQ(SelectedListLine(), -1);
  EXPECT_EQ(Sliders(), (std::array<int32_t, 4>{255, 255, 255, 255}));

  TickAllRows();
  Click(ctl::kSetAllMin);
  for (int row = 0; row < 8; ++row) EXPECT_EQ(m_settings.seq.Row(row), (std::array<int32_t, 4>{0, 0, 0, 0}));
  EXPECT_EQ(ListLines()[7], "SEQ-  8. 1=   0, 2=   0, 3=   0, 4=   0");
  EXPECT_EQ(SelectedListLine(), -1);
  EXPECT_EQ(ReadProfile(), profileBefore) << "bulk fills are not saved";
  EXPECT_TRUE(AllFrames().empty());

  Click(ctl::kSave);
  EXPECT_NE(ReadProfile().find("SEQ 7\\CH 3=0"), std::string::npos) << "the next save keeps them";
}

TEST_F(CommandsTest, DraggingASliderUpdatesBoxAndTableAtOnceListAndProfileOnRelease) {
  const std::string profileBefore = ReadProfile();
  bool checkedMidDrag = false;
  DragSlider(1, 40, [&] {
    checkedMidDrag = true;
    EXPECT_GT(m_settings.seq.Cell(0, 1), 128);
    EXPECT_EQ(Text(ctl::kCh2Value).toInt(), m_settings.seq.Cell(0, 1));
    EXPECT_EQ(Inside().Channels()[1], m_settings.seq.Cell(0, 1));
    EXPECT_EQ(ListLines()[0], "SEQ-  1. 1= 128, 2= 128, 3= 128, 4= 128") << "list waits for the release";
    EXPECT_EQ(ReadProfile(), profileBefore) << "no save while dragging";
  });
  ASSERT_TRUE(checkedMidDrag);
  const int32_t value = m_settings.seq.Cell(0, 1);
  EXPECT_GT(value, 128);
  EXPECT_EQ(ListLines()[0], QString("SEQ-  1. 1= 128, 2=%1, 3= 128, 4= 128").arg(value, 4));
  EXPECT_NE(ReadProfile().find("SEQ 0\\CH 1=" + std::to_string(value)), std::string::npos);
  EXPECT_NE(ReadProfile().find("Num Of Channel=0"), std::string::npos);
  EXPECT_EQ(SelectedListLine(), -1);
  EXPECT_TRUE(AllFrames().empty()) << "editing sends nothing";
}

TEST_F(CommandsTest, SequenceComboAndListFollowEachOther) {
  m_settings.seq.FillRow(4, 50);
  m_settings.seq.FillRow(1, 77);
  ChooseComboEntry(ctl::kSequenceCombo, 4);
  EXPECT_EQ(Inside().CurRow(), 4);
  EXPECT_EQ(Sliders(), (std::array<int32_t, 4>{50, 50, 50, 50}));
  EXPECT_EQ(SelectedListLine(), 4);
  EXPECT_EQ(ValueBoxes()[0], "50") << "the value boxes show the chosen row";

  ClickListLine(1);
  EXPECT_EQ(Inside().CurRow(), 1);
  EXPECT_EQ(Inside().ControlAs<QComboBox>(ctl::kSequenceCombo)->currentText(), "Sequent 2");
  EXPECT_EQ(Sliders(), (std::array<int32_t, 4>{77, 77, 77, 77}));
  EXPECT_EQ(ValueBoxes()[3], "77");
  EXPECT_EQ(SelectedListLine(), 1);
}

TEST_F(CommandsTest, LoadAllClickAfterASequenceChoiceReadsBackTheChosenRow) {
  m_settings.seq.FillRow(3, 9);
  ChooseComboEntry(ctl::kSequenceCombo, 3);
  TickAllRows();
  EXPECT_EQ(Inside().AllRows(), 1);
  EXPECT_EQ(Members(), (std::array<int32_t, 4>{9, 9, 9, 9}));
  Click(ctl::kDownload);
  EXPECT_EQ(m_boxes.texts, QStringList{"Download all sequent?"});
}

TEST_F(WindowTest, NewIdGoesToTheChosenUnitWhichKeepsBeingAddressed) {
  sim::SimOptions options;
  options.units = {0, 3};
  StartSim(options);
  StartWindow();
  Frames(1);
  ForgetFrames();
  ChooseComboEntry(ctl::kUnitCombo, 3);
  ClearEdit(ctl::kNewIdEdit);
  TypeInto(ctl::kNewIdEdit, "5");
  Click(ctl::kNewId);
  EXPECT_EQ(Inside().ControlAs<QComboBox>(ctl::kUnitCombo)->currentText(), "KIVO 3");
  EXPECT_EQ(Inside().UnitId(), 3);
  Click(ctl::kRunStop);
  EXPECT_EQ(Frames(2), (std::vector<Frame>{{0xA3, 0x57, 0x4A, 0x05}, {0xA3, 0x57, 0x52}}));
  EXPECT_TRUE(m_sim->HasUnit(5));
  EXPECT_FALSE(m_sim->HasUnit(3)) << "the unit moved, so the run command reached nobody";
  EXPECT_FALSE(m_sim->Unit(5).running);
}

TEST_F(CommandsTest, HighestSequenceIsSentOnEveryTextChange) {
  ClearEdit(ctl::kMaxSqEdit);
  TypeInto(ctl::kMaxSqEdit, "12");
  EXPECT_EQ(Frames(3), (std::vector<Frame>{{0xA0, 0x57, 0x51, 0x00},
                                          {0xA0, 0x57, 0x51, 0x01},
                                          {0xA0, 0x57, 0x51, 0x08}}));
  EXPECT_EQ(Inside().MaxSq(), 12);
  EXPECT_EQ(m_settings.maxSq, 8) << "the profile keeps the loaded value";
  ForgetFrames();
  ClearEdit(ctl::kMaxSqEdit);
  TypeInto(ctl::kMaxSqEdit, "264");  // its low byte is 8
  EXPECT_EQ(AllFrames().back(), (Frame{0xA0, 0x57, 0x51, 0x08}));
}

TEST_F(CommandsTest, UploadOfOneRowFillsTableSlidersBoxesAndList) {
  ChooseComboEntry(ctl::kSequenceCombo, 2);
  m_sim->SetUnitRow(0, 2, {10, 20, 30, 40});
  Click(ctl::kUpload);
  EXPECT_TRUE(m_boxes.texts.isEmpty()) << m_boxes.texts.join(",").toStdString();
  EXPECT_EQ(Frames(1).at(0), (Frame{0xA0, 0x52, 0x02}));
  EXPECT_EQ(m_settings.seq.Row(2), (std::array<int32_t, 4>{10, 20, 30, 40}));
  EXPECT_EQ(Sliders(), (std::array<int32_t, 4>{10, 20, 30, 40}));
  EXPECT_EQ(ValueBoxes(), (std::array<QString, 4>{"10", "20", "30", "40"}));
  EXPECT_EQ(ListLines()[2], "SEQ-  3. 1=  10, 2=  20, 3=  30, 4=  40");
}

TEST_F(CommandsTest, RunStopAlternatesFramesAndCaption) {
  auto* button = Inside().ControlAs<QPushButton>(ctl::kRunStop);
  EXPECT_EQ(button->text(), "RUN");
  Click(ctl::kRunStop);
  EXPECT_EQ(button->text(), "Stop");
  Click(ctl::kRunStop);
  EXPECT_EQ(button->text(), "Run");
  EXPECT_EQ(Frames(2), (std::vector<Frame>{{0xA0, 0x57, 0x52}, {0xA0, 0x57, 0x54}}));
  EXPECT_FALSE(m_sim->Unit(0).running);
}

TEST_F(CommandsTest, AllRowsDownloadAndUploadAfterTheirConfirmation) {
  for (int row = 0; row < 8; ++row)
    for (int col = 0; col < 4; ++col) m_settings.seq.SetCell(row, col, row * 10 + col);
  ChooseComboEntry(ctl::kUnitCombo, 6);
  TickAllRows();
  size_t framesWhenAsked = 99;
  m_boxes.onShow = [&](const QString&) { framesWhenAsked = m_sim->Frames().size(); };
  Click(ctl::kDownload);
  EXPECT_EQ(m_boxes.texts, QStringList{"Download all sequent?"});
  EXPECT_EQ(framesWhenAsked, 0u) << "nothing is sent before the box is dismissed";
  const auto frames = Frames(8);
  ASSERT_EQ(frames.size(), 8u);
  for (int row = 0; row < 8; ++row) {
    EXPECT_EQ(frames[row], (Frame{0xA6, 0x57, uint8_t(row), uint8_t(row * 10), uint8_t(row * 10 + 1),
                                  uint8_t(row * 10 + 2), uint8_t(row * 10 + 3)}));
  }

  m_settings.seq.FillAll(0);
  m_boxes.texts.clear();
  Click(ctl::kUpload);
  EXPECT_EQ(m_boxes.texts, QStringList{"Upload all sequent?"});
  for (int row = 0; row < 8; ++row)
    EXPECT_EQ(m_settings.seq.Row(row), (std::array<int32_t, 4>{row * 10, row * 10 + 1, row * 10 + 2, row * 10 + 3}));
  EXPECT_EQ(ListLines()[7], "SEQ-  8. 1=  70, 2=  71, 3=  72, 4=  73");
}

TEST_F(CommandsTest, UnitThatAnswersInPartOrLateLeavesMissingCellsAndSaysWhich) {
  m_sim->SetAnswerBytes(2);
  m_sim->SetUnitRow(0, 0, {1, 2, 3, 4});
  Click(ctl::kUpload);
  EXPECT_EQ(m_settings.seq.Row(0), (std::array<int32_t, 4>{1, 2, 128, 128}));
  EXPECT_EQ(m_boxes.texts, (QStringList{"Error3", "Error4"}));

  m_boxes.texts.clear();
  m_sim->SetAnswerBytes(4);
  m_sim->SetAnswerDelay(kAnswerWaitMs + kAnswerWaitMs / 3);  // past the line's wait
  m_sim->SetUnitRow(0, 1, {5, 6, 7, 8});
  ChooseComboEntry(ctl::kSequenceCombo, 1);
  // However long the operator leaves the boxes open, the lateness told is the answer's own.
  constexpr int kBoxOpenMs = 500;
  m_boxes.onShow = [](const QString&) { QTest::qWait(kBoxOpenMs); };
  Click(ctl::kUpload);
  m_boxes.onShow = {};
  EXPECT_EQ(m_boxes.texts, (QStringList{"Error1", "Error2", "Error3", "Error4"}));
  EXPECT_EQ(m_settings.seq.Row(1), (std::array<int32_t, 4>{128, 128, 128, 128}));
  const std::string status = Inside().StatusLine()->text().toStdString();
  std::smatch late;
  ASSERT_TRUE(std::regex_search(status, late, std::regex("answered ([0-9]+) ms late"))) << status;
  EXPECT_LT(std::stoi(late[1]), kBoxOpenMs) << status;

  // The late answer must not be taken for the next row's.
  QTest::qWait(2 * kAnswerWaitMs + 20);
  m_boxes.texts.clear();
  m_sim->SetAnswerDelay(0);
  m_sim->SetUnitRow(0, 2, {9, 10, 11, 12});
  ChooseComboEntry(ctl::kSequenceCombo, 2);
  Click(ctl::kUpload);
  EXPECT_TRUE(m_boxes.texts.isEmpty());
  EXPECT_EQ(m_settings.seq.Row(2), (std::array<int32_t, 4>{9, 10, 11, 12}));
}

TEST_F(CommandsTest, ChoosingAComEntryMovesTheLinkThereAndSavesIt) {
  ChooseComboEntry(ctl::kComCombo, 1);
  EXPECT_FALSE(Inside().Link().IsPortOpen());
  EXPECT_TRUE(Inside().StatusLine()->text().contains("Com 2")) << Inside().StatusLine()->text().toStdString();
  EXPECT_NE(ReadProfile().find("Com Port Addr=2"), std::string::npos);
  Click(ctl::kRunStop);
  EXPECT_TRUE(AllFrames().empty()) << "Com 2 is not the simulator";

  ChooseComboEntry(ctl::kComCombo, 0);
  EXPECT_TRUE(Inside().Link().IsPortOpen());
  Click(ctl::kRunStop);
  EXPECT_EQ(Frames(1).at(0), (Frame{0xA0, 0x57, 0x54}));
}

TEST_F(CommandsTest, FailedSaveIsShownAndClearedByTheNextGoodOne) {
  const std::string saved = ReadProfile();
  std::filesystem::remove(m_profilePath);
  std::filesystem::create_directory(m_profilePath);
  Click(ctl::kSave);
  Inside().FlushSaves();
  EXPECT_TRUE(Inside().StatusLine()->text().contains("Settings not saved:"))
      << Inside().StatusLine()->text().toStdString();
  EXPECT_EQ(Frames(1).at(0), (Frame{0xA0, 0x57, 0x53})) << "the unit still got its store command";

  std::filesystem::remove(m_profilePath);
  std::ofstream(m_profilePath) << saved;
  Click(ctl::kSave);
  Inside().FlushSaves();
  EXPECT_FALSE(Inside().StatusLine()->text().contains("Settings not saved"));
}

TEST_F(WindowTest, CommandsThatChangeAUnitReachTheJournalWithTheirOutcomeAndAJournalNotWrittenIsShown) {
  const std::string journal = m_dir + "/state/journal.jsonl";
  qputenv("DIMLET_JOURNAL", QByteArray::fromStdString(journal));
  StartWindow();
  Click(ctl::kRunStop);
  Click(ctl::kSave);
  std::ifstream in(journal);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  // The highest sequence the window sends as it starts, then the two commands.
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[0].find("\"command\":\"set-highest\",\"value\":"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("\"program\":\"dimlet\""), std::string::npos) << lines[1];
  EXPECT_NE(lines[1].find("\"line\":{\"device\":\"" + m_linkPath + "\"},\"unit\":0,\"command\":\"run\",\"rows\":[],"
                          "\"outcome\":\"KIVO 0: run sent\"}"),
            std::string::npos)
      << lines[1];
  EXPECT_NE(lines[2].find("\"command\":\"store\""), std::string::npos) << lines[2];

  // A journal in a folder that is a file: told, and the command still goes out.
  m_dlg.reset();
  qputenv("DIMLET_JOURNAL", QByteArray::fromStdString(journal + "/journal.jsonl"));
  StartWindow();
  ForgetFrames();
  Click(ctl::kSave);
  qunsetenv("DIMLET_JOURNAL");
  EXPECT_EQ(Frames(1), (std::vector<Frame>{{0xA0, 0x57, 0x53}}));
  EXPECT_TRUE(Inside().StatusLine()->text().contains("Journal not written: writing the journal"))
      << Inside().StatusLine()->text().toStdString();
}
