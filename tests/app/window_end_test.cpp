// The window ended by a session's or a terminal's signal while it saves or
// runs an all-rows transfer: the transfer finishes, the profile is whole with
// the last change in it, the port is closed and free, and the next window
// opens it. A signal while an all-rows confirmation waits is no OK: nothing
// is sent or read.
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QCheckBox>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <atomic>

#include "app/dialog_template.h"
#include "app/end_signals.h"
#include "app/message_boxes.h"
#include "app/slider.h"
#include "support/files.h"
#include "window_fixture.h"

namespace {

bool IsExclusive(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return true;
  int exclusive = 0;
  const bool asked = ::ioctl(fd, TIOCGEXCL, &exclusive) == 0;
  ::close(fd);
  return !asked || exclusive != 0;
}

enum class During { kSave, kAllRowsDownload, kAllRowsUpload, kDownloadConfirmation, kUploadConfirmation };

struct EndCase {
  const char* name;
  int signal;
  During during;
};

void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }

class WindowEndTest : public WindowTest, public testing::WithParamInterface<EndCase> {
 protected:
  // Waits until the window has ended, at most `limit`.
  bool Ended(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    return QTest::qWaitFor([this] { return !m_dlg->isVisible(); }, static_cast<int>(limit.count()));
  }
};

TEST_P(WindowEndTest, EndsAsExitWithTheLastChangeSavedAndThePortFree) {
  const EndCase& c = GetParam();
  StartWindow();
  Frames(1);
  ForgetFrames();
  CEndSignals endSignals;
  ASSERT_TRUE(endSignals.IsActive());
  QObject::connect(&endSignals, &CEndSignals::Received, m_dlg.get(), &CControllerDlg::EndAsExit);

  DragSlider(2, 30);  // the last change: committed, its save queued
  const int32_t last = m_settings.seq.Cell(0, 2);
  ASSERT_NE(last, 128);

  std::atomic<int> writeFrames{0};
  const bool atBox = c.during == During::kDownloadConfirmation || c.during == During::kUploadConfirmation;
  const bool upload = c.during == During::kAllRowsUpload || c.during == During::kUploadConfirmation;
  if (c.during == During::kSave) {
    ::raise(c.signal);
  } else {
    Click(ctl::kAllRows);
    if (atBox) {
      // A real box, whose own loop is where the signal is taken.
      m_boxes.onShow = [&](const QString& text) {
        QTimer::singleShot(30, [&] { ::raise(c.signal); });
        QTimer::singleShot(5000, [] {
          if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->accept();
        });
        CModalMessageBoxes().Show(m_dlg.get(), text);
      };
    } else {
      // The signal comes while the third row is on the wire.
      m_sim->SetLogSink([&, signal = c.signal](const std::string& line) {
        if (line.find("row 2") != std::string::npos && writeFrames++ == 0) ::kill(::getpid(), signal);
      });
    }
    const auto started = std::chrono::steady_clock::now();
    Click(upload ? ctl::kUpload : ctl::kDownload);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4))
        << "the confirmation box waited for somebody to press OK";
    if (!atBox) {
      EXPECT_EQ(writeFrames.load(), 1) << "the signal was never sent";
    }
  }

  ASSERT_TRUE(Ended()) << "the window did not end";
  EXPECT_EQ(m_dlg->result(), QDialog::Accepted) << "ended the Exit way";
  EXPECT_FALSE(Inside().Link().IsPortOpen());
  if (atBox) {
    EXPECT_TRUE(AllFrames().empty()) << "the end of the program was taken as an OK";
  } else if (c.during != During::kSave) {
    EXPECT_EQ(Frames(8).size(), 8u) << "the transfer was cut short: " << Inside().StatusLine()->accessibleDescription().toStdString();
  }
  // (An upload may also report an answer byte that came too late on a busy
  // machine; that is the unit's timing, not the ending.)
  if (c.during != During::kAllRowsUpload) {
    EXPECT_LE(m_boxes.texts.size(), 1u) << "boxes were shown while ending";
  }

  const std::string slave = m_sim->SlavePath();
  m_sim->SetLogSink({});
  m_dlg.reset();  // the window goes, as after exec() returns
  EXPECT_FALSE(IsExclusive(slave)) << "the port was left exclusive";
  const std::string profile = testsupport::ReadFile(m_profilePath);
  EXPECT_NE(profile.find("SEQ 0\\CH 2=" + std::to_string(last) + "\n"), std::string::npos) << profile;
  EXPECT_NE(profile.find("SEQ 7\\CH 3="), std::string::npos) << "the profile is not whole:\n" << profile;

  // The next window opens the port.
  LedSettings next;
  CControllerDlg again(next, m_profilePath, m_boxes);
  again.Start();
  EXPECT_TRUE(CControllerDlgTestAccess(again).Link().IsPortOpen());
  EXPECT_EQ(next.seq.Cell(0, 2), last);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, WindowEndTest,
    testing::Values(EndCase{"TermDuringSave", SIGTERM, During::kSave},
                    EndCase{"InterruptDuringSave", SIGINT, During::kSave},
                    EndCase{"HangUpDuringSave", SIGHUP, During::kSave},
                    EndCase{"TermDuringAllRowsDownload", SIGTERM, During::kAllRowsDownload},
                    EndCase{"InterruptDuringAllRowsDownload", SIGINT, During::kAllRowsDownload},
                    EndCase{"HangUpDuringAllRowsDownload", SIGHUP, During::kAllRowsDownload},
                    EndCase{"TermDuringAllRowsUpload", SIGTERM, During::kAllRowsUpload},
                    EndCase{"TermWhileTheDownloadConfirmationWaits", SIGTERM, During::kDownloadConfirmation},
                    EndCase{"InterruptWhileTheDownloadConfirmationWaits", SIGINT, During::kDownloadConfirmation},
                    EndCase{"TermWhileTheUploadConfirmationWaits", SIGTERM, During::kUploadConfirmation}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
