// The window test fixture.
#include "window_fixture.h"

#include "app/dialog_template.h"
#include "app/slider.h"
#include "support/files.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <chrono>
#include <functional>

void RecordedBoxes::Show(QWidget*, const QString& text) {
  texts << text;
  if (onShow) onShow(text);
}

void WindowTest::SetUp() {
  ASSERT_FALSE(m_dir.empty());
  m_profilePath = m_dir + "/dimlet.ini";
  m_linkPath = m_dir + "/com1";
}

void WindowTest::TearDown() {
  m_dlg.reset();
  m_sim.reset();
}

void WindowTest::StartWindow(const std::string& profileText, int comEntry, const std::string& devicePath) {
  if (!m_sim) StartSim();
  const std::string com = "Com " + std::to_string(comEntry);
  // The line waits for answers as one on a busy machine would be set to: the
  // tests share two cores with the simulator, and a line's options are theirs
  // to check only where they give a [Ports] section themselves.
  const std::string wait = profileText.find("[Ports]") == std::string::npos
                               ? com + " Answer Wait=" + std::to_string(kAnswerWaitMs) + "\n"
                               : "";
  testsupport::WriteFile(m_profilePath, profileText + "[Ports]\n" + com + "=" +
                                            (devicePath.empty() ? m_linkPath : devicePath) + "\n" + wait);
  m_dlg = std::make_unique<CControllerDlg>(m_settings, m_profilePath, m_boxes);
  m_dlg->Start();
  m_dlg->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(m_dlg.get()));
}

std::vector<Frame> WindowTest::Frames(size_t count) {
  m_sim->WaitForFrames(count, std::chrono::seconds(3));
  std::vector<Frame> frames;
  for (const sim::FrameRecord& record : m_sim->Frames()) frames.push_back(record.bytes);
  return frames;
}

std::vector<Frame> WindowTest::AllFrames() {
  QTest::qWait(60);  // longer than the simulator's frame gap
  return Frames(0);
}

void WindowTest::ForgetFrames() { m_sim->ClearRecords(); }

void WindowTest::Click(int id) {
  auto* button = Inside().ControlAs<QAbstractButton>(id);
  ASSERT_NE(button, nullptr) << id;
  QTest::mouseClick(button, Qt::LeftButton);
}

void WindowTest::ChooseComboEntry(int id, int index) {
  auto* combo = Inside().ControlAs<QComboBox>(id);
  ASSERT_NE(combo, nullptr) << id;
  combo->setFocus();
  // Arrow keys on a closed combo choose, entry by entry, as the operator would.
  const Qt::Key key = index < combo->currentIndex() ? Qt::Key_Up : Qt::Key_Down;
  if (index == combo->currentIndex()) {
    combo->showPopup();
    QTest::keyClick(combo->view(), Qt::Key_Return);
    return;
  }
  while (combo->currentIndex() != index) QTest::keyClick(combo, key);
}

void WindowTest::DragSlider(int channel, int steps, const std::function<void()>& whileHeld) {
  QSlider* slider = Inside().Slider(channel)->Widget();
  QStyleOptionSlider option;
  option.initFrom(slider);
  option.orientation = slider->orientation();
  option.minimum = slider->minimum();
  option.maximum = slider->maximum();
  option.sliderPosition = slider->sliderPosition();
  option.sliderValue = slider->value();
  option.tickPosition = slider->tickPosition();
  option.tickInterval = slider->tickInterval();
  option.upsideDown = !slider->invertedAppearance();
  option.subControls = QStyle::SC_All;
  const QRect handle = slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
  const QRect groove = slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, slider);
  const double pixelsPerStep = double(groove.height() - handle.height()) / (slider->maximum() - slider->minimum());
  const QPoint start = handle.center();
  const QPoint end = start - QPoint(0, qRound(steps * pixelsPerStep));
  QTest::mousePress(slider, Qt::LeftButton, {}, start);
  for (int i = 1; i <= 4; ++i) QTest::mouseMove(slider, start + (end - start) * i / 4);
  if (whileHeld) whileHeld();
  QTest::mouseRelease(slider, Qt::LeftButton, {}, end);
}

void WindowTest::ClickListLine(int row) {
  auto* list = Inside().ControlAs<QListWidget>(ctl::kSequenceList);
  const QRect line = list->visualItemRect(list->item(row));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, line.center());
}

void WindowTest::TypeInto(int id, const QString& keys) {
  auto* edit = Inside().ControlAs<QLineEdit>(id);
  edit->setFocus();
  QTest::keyClicks(edit, keys);
}

void WindowTest::ClearEdit(int id) {
  auto* edit = Inside().ControlAs<QLineEdit>(id);
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(edit, Qt::Key_Delete);
}

QString WindowTest::Text(int id) const { return Inside().ControlAs<QLineEdit>(id)->text(); }

QStringList WindowTest::ListLines() const {
  QStringList lines;
  auto* list = Inside().ControlAs<QListWidget>(ctl::kSequenceList);
  for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
  return lines;
}

int WindowTest::SelectedListLine() const {
  auto* list = Inside().ControlAs<QListWidget>(ctl::kSequenceList);
  const auto selected = list->selectedItems();
  return selected.isEmpty() ? -1 : list->row(selected.first());
}

std::string WindowTest::ReadProfile() const {
  if (m_dlg) CControllerDlgTestAccess(*m_dlg).FlushSaves();
  return testsupport::ReadFile(m_profilePath);
}
