// Late answers: a line whose adapter holds answer bytes back for its latency
// timer makes every upload fail at the FTDI default of 16 ms and the least
// answer wait, and none at the 1 ms a tuned adapter gives (with a wait that
// leaves a busy test machine room); and the status line's warning for such an
// adapter says what to do.
#include <QLabel>
#include <QTest>

#include "app/dialog_template.h"
#include "device/link_words.h"
#include "window_fixture.h"

namespace {

struct LatencyCase {
  const char* name;
  int latencyMs;
  int answerWaitMs;
  bool uploadFails;
};

class LatencyDrill : public WindowTest, public testing::WithParamInterface<LatencyCase> {};

TEST_P(LatencyDrill, UploadFailsOnlyWhenTheAdapterHoldsAnswersPastTheWindow) {
  const LatencyCase& c = GetParam();
  sim::SimOptions options;
  options.latencyMs = c.latencyMs;
  StartSim(options);
  StartWindow("[Ports]\nCom 1 Answer Wait=" + std::to_string(c.answerWaitMs) + "\n");
  m_sim->SetUnitRow(0, 0, {10, 20, 30, 40});
  m_sim->SetUnitRow(0, 1, {50, 60, 70, 80});
  Click(ctl::kAllRows);
  Click(ctl::kUpload);
  const QStringList missing = m_boxes.texts.filter(QStringLiteral("Error"));
  if (c.uploadFails) {
    EXPECT_FALSE(missing.isEmpty()) << "a 16 ms adapter timer went unnoticed";
    EXPECT_NE(m_settings.seq.Row(1), (std::array<int32_t, 4>{50, 60, 70, 80}));
  } else {
    EXPECT_TRUE(missing.isEmpty()) << missing.join(",").toStdString();
    EXPECT_EQ(m_settings.seq.Row(0), (std::array<int32_t, 4>{10, 20, 30, 40}));
    EXPECT_EQ(m_settings.seq.Row(1), (std::array<int32_t, 4>{50, 60, 70, 80}));
  }
}

INSTANTIATE_TEST_SUITE_P(AdapterTimer, LatencyDrill,
                         testing::Values(LatencyCase{"FtdiDefault16ms", 16, 5, true},
                                         LatencyCase{"Tuned1ms", 1, 30, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LatencyWords, WarnOnlyPastTheWindowAndNameTheFix) {
  EXPECT_TRUE(link_words::LatencyWords(-1, "ttyUSB0").line.empty()) << "no timer known, nothing to say";
  EXPECT_TRUE(link_words::LatencyWords(1, "ttyUSB0").line.empty());
  EXPECT_TRUE(link_words::LatencyWords(2, "ttyUSB0").line.empty());
  const link_words::LatencyWarning late = link_words::LatencyWords(16, "ttyUSB3");
  EXPECT_NE(late.line.find("16 ms"), std::string::npos) << late.line;
  EXPECT_NE(late.fix.find("60-dimlet-adapters.rules"), std::string::npos) << late.fix;
  EXPECT_NE(late.fix.find("/sys/class/tty/ttyUSB3/device/latency_timer"), std::string::npos) << late.fix;
  // 16 ms of timer and a byte out and back at 9600 baud: 19 ms lets answers through.
  EXPECT_NE(late.line.find("answer wait to 19 ms"), std::string::npos) << late.line;
  EXPECT_TRUE(link_words::LatencyWords(16, "ttyUSB3", 19).line.empty());
  EXPECT_FALSE(link_words::LatencyWords(17, "ttyUSB3", 19).line.empty());
}

}  // namespace
