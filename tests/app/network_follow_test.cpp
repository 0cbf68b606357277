// Drills of the window on a line behind a real ser2net: the server stopped
// and started again many times while the window is idle and in the middle of
// commands. The window never hangs, says at each step what became of the
// line, reconnects by itself and leaks no descriptors.
#include <QLabel>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/dialog_template.h"
#include "support/ser2net_bridge.h"
#include "window_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const char* kLost = "network line lost";
constexpr const char* kBack = "network line back: open, 9600 baud";

int DescriptorCount() {
  return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                        std::filesystem::directory_iterator{}));
}

// Raw, or Telnet with COM-port control.
class NetworkFollowDrill : public WindowTest, public testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    StartSim();
    m_bridge = std::make_unique<testsupport::Ser2netBridge>(m_linkPath, m_dir);
    if (!m_bridge->Running()) GTEST_SKIP() << m_bridge->Why();
    // ser2net is one more process to be scheduled before an answer comes, on
    // a machine that runs tests side by side: a wait that allows for it.
    StartWindow("[Ports]\nCom 1 Answer Wait=30\n", 1,
                GetParam() ? m_bridge->ComPortAddress() : m_bridge->RawAddress());
    ASSERT_TRUE(Inside().Link().IsPortOpen()) << Status();
    EXPECT_TRUE(StatusSays("network round trip")) << "[" << Status() << "]";
  }

  std::string Status() {
    return Inside().StatusLine()->accessibleDescription().replace('\n', ' ').toStdString();
  }
  bool StatusSays(const char* words) { return Status().find(words) != std::string::npos; }

  // The server back; the window must find it by itself and say so.
  void RestartAndExpectBack() {
    ASSERT_TRUE(m_bridge->Start()) << m_bridge->Why();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Inside().Link().IsPortOpen(); }, 8000)) << "never back: " << Status();
    EXPECT_TRUE(StatusSays(kBack)) << Status();
  }

  std::unique_ptr<testsupport::Ser2netBridge> m_bridge;
};

TEST_P(NetworkFollowDrill, AServerRestartedTwentyTimesWhileIdleIsFollowed) {
  const int descriptors = DescriptorCount();
  for (int cycle = 0; cycle < 20; ++cycle) {
    SCOPED_TRACE("cycle " + std::to_string(cycle));
    m_bridge->Stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return StatusSays(kLost); }, 1000)) << "a drop went unnoticed: " << Status();
    EXPECT_FALSE(Inside().Link().IsPortOpen());
    RestartAndExpectBack();
    if (HasFatalFailure()) return;
  }
  m_sim->SetUnitRow(0, 2, {255, 13, 0, 255});
  ChooseComboEntry(ctl::kSequenceCombo, 2);
  Click(ctl::kUpload);
  EXPECT_TRUE(m_boxes.texts.filter(QStringLiteral("Error")).isEmpty()) << m_boxes.texts.join(",").toStdString();
  EXPECT_EQ(m_settings.seq.Row(2), (std::array<int32_t, 4>{255, 13, 0, 255})) << "a row read after the last reconnect";
  EXPECT_EQ(DescriptorCount(), descriptors) << "descriptors leaked over the cycles";
}

TEST_P(NetworkFollowDrill, AServerStoppedFiveTimesDuringCommandsEndsThemInBounds) {
  const int descriptors = DescriptorCount();
  Click(ctl::kAllRows);
  for (int cycle = 0; cycle < 5; ++cycle) {
    SCOPED_TRACE("cycle " + std::to_string(cycle));
    const int button = cycle % 2 == 0 ? ctl::kDownload : ctl::kUpload;
    std::thread stop([this, cycle] {
      std::this_thread::sleep_for(milliseconds(40 + 30 * cycle));
      m_bridge->Stop();
    });
    const auto start = Clock::now();
    Click(button);
    const auto took = Clock::now() - start;
    stop.join();
    EXPECT_LT(took, milliseconds(3000)) << "the command waited past the link's bounds";
    ASSERT_TRUE(QTest::qWaitFor([&] { return StatusSays(kLost) || StatusSays("network line away"); }, 2000))
        << Status();
    RestartAndExpectBack();
    if (HasFatalFailure()) return;
  }
  m_settings.seq.FillRow(0, 255);
  ForgetFrames();
  Click(ctl::kDownload);  // all rows, still ticked
  ASSERT_EQ(Frames(8).size(), 8u) << Status();
  EXPECT_EQ(m_sim->Unit(0).rows[0], (std::array<int, 4>{255, 255, 255, 255}));
  EXPECT_EQ(DescriptorCount(), descriptors) << "descriptors leaked over the cycles";
}

INSTANTIATE_TEST_SUITE_P(Ser2net, NetworkFollowDrill, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "ComPort" : "Raw"; });

}  // namespace
