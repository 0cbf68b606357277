// The line as the window leaves it after start-up, read back from the
// pseudo-terminal: 9600 baud both ways, raw 8N1.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "window_fixture.h"

namespace {

TEST_F(WindowTest, StartUpOpensTheLineAt9600Baud8N1) {
  StartSim();
  // Opened before the window takes the device for itself; the pty keeps one
  // set of line settings for every descriptor on it.
  const int line = open(m_linkPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(line, 0) << m_linkPath;
  StartWindow();
  ASSERT_TRUE(Inside().Link().IsPortOpen());
  termios settings{};
  ASSERT_EQ(tcgetattr(line, &settings), 0);
  close(line);
  EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B9600));
  EXPECT_EQ(cfgetispeed(&settings), static_cast<speed_t>(B9600));
  EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB), 0u);
}

}  // namespace
