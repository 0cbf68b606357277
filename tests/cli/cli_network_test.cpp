// dimlet-cli on a line behind a real ser2net, raw and with COM-port control:
// rows written, verified and scanned with the same results as on a local
// line, the line's state in `ports`, and a server that is away; addresses
// that cannot be one, and a server that floods.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "cli_fixture.h"
#include "support/ser2net_bridge.h"

namespace {

using testing::HasSubstr;

// A server that floods, as `socat -u OPEN:/dev/zero TCP-LISTEN:…` does: a
// loopback port the test serves that sends 0x00 to each client and reads
// nothing. It stops after kLimit bytes a client, so that a program that
// takes everything still ends.
class FloodServer {
 public:
  static constexpr size_t kLimit = size_t{64} << 20;

  FloodServer() {
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (m_listener < 0 || pipe2(m_stop, O_CLOEXEC) != 0 ||
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(m_listener, 4) != 0 ||
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      return;
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
  }
  ~FloodServer() {
    if (m_thread.joinable()) {
      (void)!write(m_stop[1], "x", 1);
      m_thread.join();
    }
    for (int fd : {m_listener, m_stop[0], m_stop[1]}) {
      if (fd >= 0) close(fd);
    }
  }
  FloodServer(const FloodServer&) = delete;
  FloodServer& operator=(const FloodServer&) = delete;

  int Port() const { return m_port; }

 private:
  // Waits for `events` on `fd`; false once the test is over.
  bool Wait(int fd, short events) const {
    pollfd entries[2] = {{fd, events, 0}, {m_stop[0], POLLIN, 0}};
    return poll(entries, 2, -1) > 0 && entries[1].revents == 0;
  }
  void Serve() {
    const std::vector<char> zeros(65536, 0);
    while (Wait(m_listener, POLLIN)) {
      const int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (client < 0) continue;
      size_t sent = 0;
      while (sent < kLimit && Wait(client, POLLOUT)) {
        const ssize_t n = send(client, zeros.data(), std::min(zeros.size(), kLimit - sent), MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EINTR) break;
        if (n > 0) sent += static_cast<size_t>(n);
      }
      close(client);
    }
  }

  int m_listener = -1;
  int m_stop[2] = {-1, -1};
  int m_port = 0;
  std::thread m_thread;
};

const char* const kRows =
    "unit,sequence,ch1,ch2,ch3,ch4\n"
    "1,1,255,255,255,255\n"
    "1,2,13,0,255,128\n"
    "6,8,1,2,3,4\n";

TEST_F(CliTest, RowsGoThroughSer2netAsOnALocalLine) {
  StartSim();
  testsupport::Ser2netBridge bridge(m_dir + "/units", m_dir);
  if (!bridge.Running()) GTEST_SKIP() << bridge.Why();
  WriteProfile("[Ports]\nCom 3=" + bridge.ComPortAddress() + "\nCom 4=" + bridge.RawAddress() + "\n");
  const std::string rows = File("rows.csv", kRows);
  for (const std::string& address : {bridge.RawAddress(), bridge.ComPortAddress()}) {
    SCOPED_TRACE(address);
    m_sim->ClearRecords();
    // The bridge's own hops add to the sim's answer time on a busy machine.
    CliResult result = Run({"write", rows, "--port", address, "--answer-wait", "30"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Frames(), (std::vector<Frame>{WriteRowFrame(1, 0, 255, 255, 255, 255), WriteRowFrame(1, 1, 13, 0, 255, 128),
                                            ReadRowFrame(1, 0), ReadRowFrame(1, 1), WriteRowFrame(6, 7, 1, 2, 3, 4),
                                            ReadRowFrame(6, 7)}));
    EXPECT_EQ(m_sim->Unit(1).rows[0], (std::array<int, 4>{255, 255, 255, 255}));
    result = Run({"verify", rows, "--port", address, "--answer-wait", "30"});
    EXPECT_EQ(result.status, 0) << result.err;
    result = Run({"scan", "--port", address, "--answer-wait", "30"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "0\n1\n2\n3\n4\n5\n6\n7\n");
  }
  const CliResult ports = Run({"ports"});
  EXPECT_THAT(ports.out, HasSubstr("Com 3\t" + bridge.ComPortAddress() + "\tnetwork: reached, network round trip"));
  EXPECT_THAT(ports.out, HasSubstr("Com 4\t" + bridge.RawAddress() + "\tnetwork: reached, network round trip"));
}

// The simulator served over TCP (dimlet-sim --listen, as on Windows) is a raw
// network line like any other.
TEST_F(CliTest, RowsGoToTheSimulatorServedOverTcp) {
  sim::SimOptions options;
  options.listenPort = 0;
  StartSim(options);
  const std::string address = m_sim->SlavePath();
  CliResult result = Run({"write", File("rows.csv", kRows), "--port", address, "--answer-wait", "30"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(Frames(), (std::vector<Frame>{WriteRowFrame(1, 0, 255, 255, 255, 255), WriteRowFrame(1, 1, 13, 0, 255, 128),
                                          ReadRowFrame(1, 0), ReadRowFrame(1, 1), WriteRowFrame(6, 7, 1, 2, 3, 4),
                                          ReadRowFrame(6, 7)}));
  result = Run({"scan", "--port", address, "--answer-wait", "30"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "0\n1\n2\n3\n4\n5\n6\n7\n");
}

TEST_F(CliTest, AServerThatIsAwayIsAPortNotOpenInTheStatusLinesWords) {
  StartSim();
  testsupport::Ser2netBridge bridge(m_dir + "/units", m_dir);
  if (!bridge.Running()) GTEST_SKIP() << bridge.Why();
  bridge.Stop();
  const CliResult result = Run({"store", "--unit", "1", "--port", bridge.RawAddress()});
  EXPECT_EQ(result.status, 3);
  EXPECT_THAT(result.err, HasSubstr("network line away: connection refused"));
}

TEST_F(CliTest, ARawAddressOnATelnetPortIsRefusedBeforeAByteIsSent) {
  StartSim();
  testsupport::Ser2netBridge bridge(m_dir + "/units", m_dir);
  if (!bridge.Running()) GTEST_SKIP() << bridge.Why();
  std::string raw = bridge.ComPortAddress();
  raw.replace(0, raw.find(':'), "tcp");
  // 255s that Telnet took as commands once cut the frame and it still counted as written.
  const CliResult result = Run({"write", File("rows.csv", kRows), "--no-verify", "--port", raw});
  EXPECT_EQ(result.status, 3);
  EXPECT_THAT(result.err, HasSubstr("the server speaks Telnet"));
  EXPECT_TRUE(m_sim->ReceivedBytes().empty());
}

// An address that cannot be one is a wrong command line (or file), found
// before any line is opened, and named once, cut when it is long.
struct WrongAddressCase {
  const char* name;
  std::vector<std::string> args;  // "FILE" stands for the installation file
  std::string file;               // the installation file's lines after its header; none when empty
  std::string shown;              // the address as the message names it
  std::string problem;
};

TEST_F(CliTest, AnAddressThatCannotBeOneIsAUsageErrorNamedOnce) {
  const std::string huge = "tcp://" + std::string(2 << 20, 'h') + ".example:3001";
  const WrongAddressCase cases[] = {
      {"port 0", {"scan", "--port", "tcp://h:0"}, "", "tcp://h:0", "the port must be a number from 1 to 65535"},
      {"port 65536", {"store", "--unit", "1", "--port", "rfc2217://h:65536"}, "", "rfc2217://h:65536",
       "the port must be a number from 1 to 65535"},
      {"IPv6 address without its closing bracket", {"read", "--unit", "0", "--port", "tcp://[::1"}, "", "tcp://[::1",
       "no closing ] after the IPv6 address"},
      {"a scheme no kind of line has (once opened as a file: \"no such device\")", {"scan", "--port", "ssh://h:22"},
       "", "ssh://h:22", "ssh:// is no kind of line here: write a device path, tcp://HOST:PORT or rfc2217://HOST:PORT"},
      {"one of several lines", {"run", "--unit", "1", "--port", "Com 1", "--port", "tcp://[::1]:0"}, "",
       "tcp://[::1]:0", "the port must be a number from 1 to 65535"},
      {"a line of an installation file", {"write", "FILE"}, "Com 1,1,1,1,2,3,4\ntcp://h:0,1,1,1,2,3,4\n",
       "tcp://h:0", "the port must be a number from 1 to 65535"},
      {"a host name of 2 MB in an installation file", {"verify", "FILE"}, huge + ",1,1,1,2,3,4\n",
       "tcp://" + std::string(42, 'h') + "\u2026" + std::string(11, 'h') + ".example:3001",
       "the host name is longer than 253 characters"},
  };
  WriteProfile();
  for (const WrongAddressCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = File("hall.csv", "line,unit,sequence,ch1,ch2,ch3,ch4\n" + c.file);
    std::vector<std::string> args = c.args;
    std::replace(args.begin(), args.end(), std::string("FILE"), path);
    const CliResult result = Run(args);
    EXPECT_EQ(result.status, 2) << result.err;
    EXPECT_THAT(result.err, HasSubstr(c.shown + ": " + c.problem));
    EXPECT_EQ(result.err.find(c.shown), result.err.rfind(c.shown)) << "named more than once: " << result.err;
    EXPECT_LT(result.err.size(), 400u);
    EXPECT_TRUE(m_sim->ReceivedBytes().empty()) << "no line was opened";
  }
}

// A server that sends without end costs the command a bounded amount of
// memory (it once ended in std::bad_alloc or grew past 2 GB), and an RFC
// 2217 address on it is refused within the open's bound.
TEST_F(CliTest, AServerThatFloodsCostsABoundedAmountOfMemory) {
  FloodServer server;
  ASSERT_NE(server.Port(), 0);
  WriteProfile();
  const CliResult baseline = Run({"read", "--unit", "0"});
  ASSERT_EQ(baseline.status, 0) << baseline.err;
  ASSERT_GT(baseline.peakKb, 0);
  constexpr long kGrowthLimitKb = 32 << 10;
  for (const std::string scheme : {"tcp", "rfc2217"}) {
    SCOPED_TRACE(scheme);
    const std::string address = scheme + "://127.0.0.1:" + std::to_string(server.Port());
    const CliResult result = Run({"read", "--unit", "0", "--port", address});
    EXPECT_GE(result.status, 0) << "ended by a signal: " << result.err;
    EXPECT_LT(result.peakKb - baseline.peakKb, kGrowthLimitKb)
        << "held " << result.peakKb << " KB, a read on a line that behaves " << baseline.peakKb << " KB";
    if (scheme == "rfc2217") {
      EXPECT_EQ(result.status, 3);
      EXPECT_THAT(result.err, HasSubstr(address + ": not open: the server sent more than 64 KB without taking on "
                                                  "COM-port control (RFC 2217)"));
    }
  }
}

}  // namespace
