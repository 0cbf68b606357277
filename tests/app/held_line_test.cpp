// A held line seen from the window: a line that takes no byte (a
// pseudo-terminal whose far end nobody reads, full) leaves every command's
// outcome row saying so, never reporting it done.
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <QLabel>
#include <thread>

#include "app/dialog_template.h"
#include "support/row_names.h"
#include "window_fixture.h"

namespace {

struct HeldCase {
  std::string name;
  int control;
  bool allRows = false;
};

class HeldLineTest : public WindowTest, public testing::WithParamInterface<HeldCase> {
 protected:
  std::string Status() { return Inside().StatusLine()->accessibleDescription().toStdString(); }
};

TEST_P(HeldLineTest, EveryCommandLeavesTheHeldLineInTheOutcomeRow) {
  int master = -1;
  int slave = -1;
  char name[128] = {};
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  StartWindow("", 1, name);  // the start-up frame still finds room
  ASSERT_TRUE(Inside().Link().IsPortOpen()) << Status();
  fcntl(slave, F_SETFL, fcntl(slave, F_GETFL) | O_NONBLOCK);
  // The pty moves bytes on to the master behind the writer's back: fill until
  // a pause makes no more room.
  const uint8_t fill = 0x55;
  for (int written = 1; written > 0; std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
    for (written = 0; write(slave, &fill, 1) == 1; ++written) {
    }
  }

  const HeldCase& c = GetParam();
  if (c.allRows) Click(ctl::kAllRows);
  if (c.control == ctl::kMaxSqEdit)
    TypeInto(ctl::kMaxSqEdit, "3");
  else
    Click(c.control);
  EXPECT_NE(Status().find("KIVO 0: the frame did not leave the port within 1 s — the line is held"), std::string::npos)
      << Status();
  close(slave);
  close(master);
}

INSTANTIATE_TEST_SUITE_P(Commands, HeldLineTest,
                         testing::Values(HeldCase{"download row", ctl::kDownload},
                                         HeldCase{"download all rows", ctl::kDownload, true},
                                         HeldCase{"upload row", ctl::kUpload},
                                         HeldCase{"upload all rows", ctl::kUpload, true},
                                         HeldCase{"store", ctl::kSave}, HeldCase{"run", ctl::kRunStop},
                                         HeldCase{"new address", ctl::kNewId},
                                         HeldCase{"highest sequence", ctl::kMaxSqEdit}),
                         testsupport::RowName{});

}  // namespace
