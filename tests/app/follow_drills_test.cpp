// Drills of the window following its device: the simulated line hung up and
// brought back many times, idle and in the middle of commands; a device that
// refuses at first when it comes back; a reopen held back while a command's
// message box is open; a file standing in the device's place for a while; an
// idle open link that costs no CPU.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QEventLoop>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/dialog_template.h"
#include "support/files.h"
#include "window_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const char* kUnplugged = "unplugged, waiting for it";
constexpr const char* kCameBack = "device back: open, 9600 baud";
// How soon after the device is back the link must be open again.
constexpr milliseconds kReopenBound{1500};

int DescriptorCount() {
  return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                        std::filesystem::directory_iterator{}));
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class FollowDrill : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    StartWindow();
    ASSERT_TRUE(Inside().Link().IsPortOpen()) << Status();
  }

  // The status line's words in full, before they are fitted to its rows, as
  // one text.
  std::string Status() {
    return Inside().StatusLine()->accessibleDescription().replace('\n', ' ').toStdString();
  }
  bool StatusSays(const char* words) { return Status().find(words) != std::string::npos; }

  // Runs the event loop until `done` or `bound` has passed; true if done.
  template <class Done>
  bool WaitUntil(Done done, milliseconds bound) {
    return QTest::qWaitFor(done, static_cast<int>(bound.count()));
  }

  // Brings the line back and checks that the window reopens on it by itself,
  // in time, and says so; then that commands reach the unit.
  void ReturnAndExpectReopened(milliseconds awayFor = milliseconds(0)) {
    if (awayFor.count() > 0) QTest::qWait(static_cast<int>(awayFor.count()));
    std::string error;
    ASSERT_TRUE(m_sim->Reconnect(&error)) << error;
    const auto back = Clock::now();
    ASSERT_TRUE(WaitUntil([&] { return Inside().Link().IsPortOpen(); }, milliseconds(3000)))
        << "never reopened: " << Status();
    EXPECT_LE(Clock::now() - back, kReopenBound) << "reopened too late";
    EXPECT_TRUE(StatusSays(kCameBack)) << Status();
  }
};

TEST_F(FollowDrill, IdleUnplugIsShownAtOnceAndTheLinkReopensByItselfHundredTimes) {
  const int descriptors = DescriptorCount();
  for (int cycle = 0; cycle < 100; ++cycle) {
    SCOPED_TRACE("cycle " + std::to_string(cycle));
    m_sim->HangUp();
    ASSERT_TRUE(WaitUntil([&] { return StatusSays(kUnplugged); }, milliseconds(1000)))
        << "an idle unplug went unnoticed: " << Status();
    EXPECT_FALSE(Inside().Link().IsPortOpen());
    // Mostly a quick replug; now and then one that outlasts the first quick
    // looks, so the once-a-second look is the one that finds it.
    ReturnAndExpectReopened(cycle % 25 == 24 ? milliseconds(1600) : milliseconds(0));
    if (HasFatalFailure()) return;
  }
  ForgetFrames();
  Click(ctl::kRunStop);
  EXPECT_EQ(Frames(1).size(), 1u) << "commands reach the unit after the last reopen";
  EXPECT_EQ(DescriptorCount(), descriptors) << "descriptors leaked over the cycles";
}

TEST_F(FollowDrill, UnplugDuringCommandsEndsThemInBoundsAndTheLinkReopensTwentyTimes) {
  const int descriptors = DescriptorCount();
  Click(ctl::kAllRows);
  for (int cycle = 0; cycle < 20; ++cycle) {
    SCOPED_TRACE("cycle " + std::to_string(cycle));
    const int button = cycle % 2 == 0 ? ctl::kDownload : ctl::kUpload;
    std::thread pull([this, cycle] {
      std::this_thread::sleep_for(milliseconds(40 + 15 * (cycle % 10)));
      m_sim->HangUp();
    });
    const auto start = Clock::now();
    Click(button);
    const auto took = Clock::now() - start;
    pull.join();
    EXPECT_LT(took, milliseconds(3000)) << "the command waited past the link's bounds";
    ASSERT_TRUE(WaitUntil([&] { return StatusSays(kUnplugged); }, milliseconds(1000))) << Status();
    ReturnAndExpectReopened();
    if (HasFatalFailure()) return;
  }
  m_boxes.texts.clear();
  m_sim->SetUnitRow(0, 0, {9, 8, 7, 6});
  Click(ctl::kUpload);  // all rows, still ticked
  const QStringList missing = m_boxes.texts.filter(QStringLiteral("Error"));
  EXPECT_TRUE(missing.isEmpty()) << missing.join(",").toStdString();
  EXPECT_EQ(m_settings.seq.Row(0), (std::array<int32_t, 4>{9, 8, 7, 6}));
  EXPECT_EQ(DescriptorCount(), descriptors) << "descriptors leaked over the cycles";
}

// A modal "Error1" box runs the event loop in the middle of an upload; the
// device coming back then must not reopen the link under the command.
TEST_F(FollowDrill, NoReopenStartsWhileACommandsMessageBoxIsOpen) {
  bool openDuringCommand = false;
  m_boxes.onShow = [&](const QString& text) {
    if (text != QStringLiteral("Error1")) return;
    std::string error;
    ASSERT_TRUE(m_sim->Reconnect(&error)) << error;
    QTest::qWait(1500);  // the box stays open past the follower's looks
    openDuringCommand = Inside().Link().IsPortOpen();
  };
  m_sim->HangUp();
  Click(ctl::kUpload);
  EXPECT_EQ(m_boxes.texts, (QStringList{"Error1", "Error2", "Error3", "Error4"}));
  EXPECT_FALSE(openDuringCommand) << "the link was reopened in the middle of the upload";
  ASSERT_TRUE(WaitUntil([&] { return Inside().Link().IsPortOpen(); }, kReopenBound)) << Status();
  EXPECT_TRUE(StatusSays(kCameBack)) << Status();
}

// Right after a device appears it may still be held (ModemManager probing
// it) or not yet be ours (udev setting its group): that is retried quietly
// for about three seconds, then reported; and a device given up on is
// followed still.
TEST_F(FollowDrill, InUseRightAfterTheDeviceReturnsIsRetriedThenReported) {
  for (const bool releasedInTime : {true, false}) {
    SCOPED_TRACE(releasedInTime ? "released after half a second" : "held for good");
    m_sim->HangUp();
    ASSERT_TRUE(WaitUntil([&] { return StatusSays(kUnplugged); }, milliseconds(1000))) << Status();
    std::string error;
    ASSERT_TRUE(m_sim->Reconnect(&error)) << error;
    const auto back = Clock::now();
    auto holder = std::make_unique<CSerialLink>([this](int32_t) { return m_linkPath; });
    ASSERT_EQ(holder->OpenPort(1, 9600), 1) << holder->Reason();
    if (releasedInTime) {
      QTest::qWait(600);
      EXPECT_FALSE(StatusSays("in use")) << "reported before the retries ran out: " << Status();
      holder.reset();
      ASSERT_TRUE(WaitUntil([&] { return Inside().Link().IsPortOpen(); }, milliseconds(3000))) << Status();
      EXPECT_TRUE(StatusSays(kCameBack)) << Status();
    } else {
      ASSERT_TRUE(WaitUntil([&] { return StatusSays("in use by another program"); }, milliseconds(5000)))
          << Status();
      EXPECT_GE(Clock::now() - back, milliseconds(2500)) << "reported before the retries ran out";
      EXPECT_FALSE(Inside().Link().IsPortOpen());
      // Given up on, the device is still followed: unplugged and back, it opens.
      holder.reset();
      m_sim->HangUp();
      ASSERT_TRUE(WaitUntil([&] { return StatusSays(kUnplugged); }, milliseconds(2500))) << Status();
      ReturnAndExpectReopened();
    }
  }
}

// A file or a FIFO standing for a while where the device was is not a line,
// and is said to be watched; the device coming back in its place is opened.
TEST_F(FollowDrill, NotASerialDeviceForAWhileIsWatchedUntilTheDeviceReturns) {
  for (const bool fifo : {false, true}) {
    SCOPED_TRACE(fifo ? "a FIFO" : "a regular file");
    m_sim->HangUp();
    ASSERT_TRUE(WaitUntil([&] { return StatusSays(kUnplugged); }, milliseconds(1000))) << Status();
    if (fifo) {
      ASSERT_EQ(::mkfifo(m_linkPath.c_str(), 0600), 0);
    } else {
      testsupport::WriteFile(m_linkPath, "not a line\n");
    }
    ASSERT_TRUE(WaitUntil([&] { return StatusSays("not a serial device — watching"); }, milliseconds(3000)))
        << Status();
    QTest::qWait(1200);
    ASSERT_EQ(::unlink(m_linkPath.c_str()), 0);
    ReturnAndExpectReopened();
    if (HasFatalFailure()) return;
  }
}

// An open link with a unit that sends nothing: the window sleeps in its event
// loop. A busy poll would use about as much CPU time as wall time.
TEST_F(FollowDrill, IdleOpenLinkCostsNoCpuOverAMinute) {
  const auto wall = std::chrono::seconds(60);
  const double cpuBefore = CpuSeconds();
  QEventLoop idle;
  QTimer::singleShot(wall, &idle, &QEventLoop::quit);
  idle.exec();
  const double used = CpuSeconds() - cpuBefore;
  EXPECT_LT(used, 0.02 * static_cast<double>(wall.count())) << used << " s of CPU time in a minute of idling";
  EXPECT_TRUE(Inside().Link().IsPortOpen());
}

}  // namespace
