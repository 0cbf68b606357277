// The line's pseudo-terminal and link over its life: the link made and
// removed, clients coming and going, hang-up and reconnect.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <thread>

#include "sim_line_fixture.h"

namespace simtest {
namespace {

std::string LinkTarget(const std::string& path) {
  std::error_code ec;
  const auto target = std::filesystem::read_symlink(path, ec);
  return ec ? std::string() : target.string();
}

bool Exists(const std::string& path) {
  struct stat info{};
  return ::lstat(path.c_str(), &info) == 0;
}

class SimLineLink : public SimLineTest {
 protected:
  TempFolder dir;
  std::string linkPath = dir.File("com1");
};

TEST_F(SimLineLink, LinkPointsAtTheSlaveAndGoesAwayOnStop) {
  StartLine(Options([&](sim::SimOptions& o) { o.linkPath = linkPath; }));
  EXPECT_EQ(LinkTarget(linkPath), line->SlavePath());
  PtyClient viaLink(linkPath);
  ASSERT_TRUE(viaLink.IsOpen());
  ASSERT_TRUE(viaLink.Send({0xA0, 0x52, 0}));
  EXPECT_EQ(viaLink.Read(4, kWait).size(), 4u);
  line->Stop();
  EXPECT_FALSE(Exists(linkPath));
}

TEST_F(SimLineLink, StaleLinkFromAnEarlierRunIsReplaced) {
  ASSERT_EQ(::symlink("/dev/pts/nonexistent", linkPath.c_str()), 0);
  StartLine(Options([&](sim::SimOptions& o) { o.linkPath = linkPath; }));
  EXPECT_EQ(LinkTarget(linkPath), line->SlavePath());
}

TEST_F(SimLineLink, RegularFileAtTheLinkPathIsNeverReplaced) {
  WriteFile(linkPath, "keep me");
  sim::SimLine refused(Options([&](sim::SimOptions& o) { o.linkPath = linkPath; }));
  std::string error;
  EXPECT_FALSE(refused.Start(&error));
  EXPECT_NE(error.find("not a symbolic link"), std::string::npos) << error;
  EXPECT_EQ(ReadFile(linkPath), "keep me");
}

TEST_F(SimLineLink, LinkRepointedBySomeoneElseIsLeftAlone) {
  StartLine(Options([&](sim::SimOptions& o) { o.linkPath = linkPath; }));
  const std::string other = dir.File("other");
  ASSERT_EQ(::symlink("/dev/null", other.c_str()), 0);
  ASSERT_EQ(::rename(other.c_str(), linkPath.c_str()), 0);
  line->Stop();
  EXPECT_EQ(LinkTarget(linkPath), "/dev/null");
}

TEST_F(SimLineTest, ClientMayCloseAndReopenTheSlave) {
  StartLine();
  client.reset();
  std::this_thread::sleep_for(milliseconds(50));
  client = std::make_unique<PtyClient>(line->SlavePath());
  ASSERT_TRUE(client->IsOpen());
  SendFrames({{0xA0, 0x52, 0}});
  EXPECT_EQ(client->Read(4, kWait).size(), 4u);
}

double ProcessCpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

TEST_F(SimLineTest, LineWithoutAClientDoesNotSpin) {
  StartLine();
  client.reset();
  const double before = ProcessCpuSeconds();
  std::this_thread::sleep_for(milliseconds(500));
  // A serving thread looping on a master with no client would burn all of it.
  EXPECT_LT(ProcessCpuSeconds() - before, 0.1);
}

TEST_F(SimLineLink, HangUpIsSeenByTheClientAndStopsAnswers) {
  StartLine(Options([&](sim::SimOptions& o) { o.linkPath = linkPath; }));
  line->HangUp();
  pollfd p{client->Fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, static_cast<int>(kWait.count())), 1);
  EXPECT_TRUE(p.revents & POLLHUP);
  const uint8_t frame[3] = {0xA0, 0x52, 0};
  EXPECT_EQ(::write(client->Fd(), frame, 3), -1);
  EXPECT_EQ(errno, EIO);
  EXPECT_FALSE(Exists(linkPath)) << "a hung-up device has no name to open";
  EXPECT_TRUE(line->Frames().empty());
}

TEST_F(SimLineLink, ReconnectServesANewTerminalAtTheSameLinkWithUnitsKept) {
  StartLine(Options([&](sim::SimOptions& o) { o.linkPath = linkPath; }));
  SendFrames({{0xA2, 0x57, 4, 5, 6, 7, 8}});
  line->HangUp();
  client.reset();
  std::string error;
  ASSERT_TRUE(line->Reconnect(&error)) << error;
  EXPECT_EQ(LinkTarget(linkPath), line->SlavePath());
  client = std::make_unique<PtyClient>(linkPath);
  ASSERT_TRUE(client->IsOpen());
  SendFrames({{0xA2, 0x52, 4}});
  EXPECT_EQ(client->Read(4, kWait), (Bytes{5, 6, 7, 8}));
}

TEST_F(SimLineLink, ReconnectWithoutHangUpMovesTheLinkAndDropsTheOldTerminal) {
  StartLine(Options([&](sim::SimOptions& o) { o.linkPath = linkPath; }));
  const std::string oldPath = line->SlavePath();
  ASSERT_TRUE(line->Reconnect());
  EXPECT_EQ(LinkTarget(linkPath), line->SlavePath());
  pollfd p{client->Fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, static_cast<int>(kWait.count())), 1);
  EXPECT_TRUE(p.revents & POLLHUP) << "the old terminal " << oldPath << " must hang up";
}

TEST_F(SimLineTest, StopThenStartAgainServesAFreshTerminal) {
  StartLine();
  line->Stop();
  line->Stop();
  std::string error;
  ASSERT_TRUE(line->Start(&error)) << error;
  client = std::make_unique<PtyClient>(line->SlavePath());
  SendFrames({{0xA0, 0x52, 0}});
  EXPECT_EQ(client->Read(4, kWait).size(), 4u);
}

}  // namespace
}  // namespace simtest
