// The line's pseudo-terminal and link over its life: the link made and
// removed, clients coming and going, hang-up and reconnect; served over TCP,
// one client at a time.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <numeric>
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

// A TCP client of the line at `address` (tcp://127.0.0.1:PORT): -1 when it
// cannot connect.
int ConnectTo(const std::string& address) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(static_cast<uint16_t>(std::stoi(address.substr(address.rfind(':') + 1))));
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// What `fd` receives within kWait: up to `count` bytes, fewer when the line
// closes it first.
Bytes Receive(int fd, size_t count) {
  Bytes got;
  pollfd p{fd, POLLIN, 0};
  while (got.size() < count && ::poll(&p, 1, static_cast<int>(kWait.count())) == 1) {
    uint8_t buffer[16];
    const ssize_t n = ::recv(fd, buffer, std::min(sizeof buffer, count - got.size()), 0);
    if (n <= 0) break;
    got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

TEST(SimLineTcp, OneClientAtATimeASecondIsClosedAndTheNextServedAfterAHangUp) {
  sim::SimLine line(Options([](sim::SimOptions& o) { o.listenPort = 0; }));
  std::vector<std::string> log;
  std::mutex logMutex;
  line.SetLogSink([&](const std::string& text) {
    std::lock_guard<std::mutex> lock(logMutex);
    log.push_back(text);
  });
  std::string error;
  ASSERT_TRUE(line.Start(&error)) << error;
  ASSERT_EQ(line.SlavePath().rfind("tcp://127.0.0.1:", 0), 0u) << line.SlavePath();
  line.SetUnitRow(2, 3, {9, 8, 7, 6});
  // A second line on the same port says so in words, not by a system's code.
  const std::string port = line.SlavePath().substr(line.SlavePath().rfind(':') + 1);
  sim::SimLine taken(Options([&port](sim::SimOptions& o) { o.listenPort = std::stoi(port); }));
  EXPECT_FALSE(taken.Start(&error));
  EXPECT_NE(error.find("port " + port + " is in use"), std::string::npos) << error;

  const int first = ConnectTo(line.SlavePath());
  ASSERT_GE(first, 0);
  const uint8_t read[] = {0xA2, 0x52, 3};
  ASSERT_EQ(::send(first, read, sizeof read, MSG_NOSIGNAL), 3);
  EXPECT_EQ(Receive(first, 4), (Bytes{9, 8, 7, 6}));

  const int second = ConnectTo(line.SlavePath());
  ASSERT_GE(second, 0);
  EXPECT_TRUE(Receive(second, 1).empty()) << "the second client is closed, not answered";
  ::close(second);
  ASSERT_EQ(::send(first, read, sizeof read, MSG_NOSIGNAL), 3);
  EXPECT_EQ(Receive(first, 4), (Bytes{9, 8, 7, 6})) << "the first is still served";

  ::close(first);
  int next = -1;
  Bytes answer;
  // The hang-up is seen at the line's next look; a client that came before
  // that is refused and tries again.
  for (int attempt = 0; attempt < 50 && answer.empty(); ++attempt) {
    if (next >= 0) ::close(next);
    std::this_thread::sleep_for(milliseconds(20));
    next = ConnectTo(line.SlavePath());
    ASSERT_GE(next, 0);
    ASSERT_EQ(::send(next, read, sizeof read, MSG_NOSIGNAL), 3);
    answer = Receive(next, 4);
  }
  EXPECT_EQ(answer, (Bytes{9, 8, 7, 6})) << "the next client is served, the units as they were";
  ::close(next);
  line.Stop();
  const std::string all = std::accumulate(log.begin(), log.end(), std::string(),
                                          [](std::string a, const std::string& b) { return a + b + "\n"; });
  EXPECT_NE(all.find("one client at a time"), std::string::npos) << all;
  EXPECT_NE(all.find("hung up; waiting for the next"), std::string::npos) << all;
}

}  // namespace
}  // namespace simtest
