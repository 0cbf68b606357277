// The link on a network line against a far end written in the tests: opening
// and its refusals within their bound and in the status line's words, IAC
// escaping both ways, the round trip and late answers in the line's notes, a
// connection that drops under a command or while idle, a server that floods,
// and the check of an address before anything is opened.
#include <poll.h>

#include <cstdio>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "device/link_words.h"
#include "device/network_address.h"
#include "device/serial_link.h"
#include "network_far_end.h"
#include "support/child_process.h"
#include "support/row_names.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kOpenBound{1000};
constexpr milliseconds kSlack{300};

// Bytes the link reads within `within`, up to `count`.
Bytes ReadFor(CSerialLink& link, size_t count, milliseconds within = milliseconds(1000)) {
  Bytes got;
  const auto deadline = Clock::now() + within;
  while (got.size() < count && Clock::now() < deadline && link.IsPortOpen()) {
    uint8_t buffer[16];
    const int32_t n = link.ReadWaiting(buffer, sizeof buffer);
    got.insert(got.end(), buffer, buffer + n);
    if (n == 0) std::this_thread::sleep_for(milliseconds(1));
  }
  return got;
}

struct OpenFailure {
  const char* name;
  std::string address;  // "{far}" stands for the far end's address, "{gone}" for a port nobody listens on,
                        // "{port}" for its port
  FarEnd::Mode mode;
  CSerialLink::Fault fault;
  std::string words;  // part of what the status line says
};
void PrintTo(const OpenFailure& c, std::ostream* os) { *os << c.name; }

const OpenFailure kOpenFailures[] = {
    {"no port", "tcp://127.0.0.1", FarEnd::Mode::kRaw, CSerialLink::Fault::kOther, "no port"},
    {"port out of range", "tcp://127.0.0.1:70000", FarEnd::Mode::kRaw, CSerialLink::Fault::kOther, "1 to 65535"},
    {"IPv6 without brackets", "tcp://::1:4000", FarEnd::Mode::kRaw, CSerialLink::Fault::kOther, "[ ]"},
    {"nobody listening", "{gone}", FarEnd::Mode::kRaw, CSerialLink::Fault::kNotFound,
     "not open: network line away: connection refused"},
    {"no such host", "tcp://no-such-host.invalid:4000", FarEnd::Mode::kRaw, CSerialLink::Fault::kNotFound,
     "not open: network line away: "},
    {"server refuses COM-port control", "{far}", FarEnd::Mode::kRefuseComPort, CSerialLink::Fault::kSetup,
     "not open: the server refuses COM-port control (RFC 2217); use tcp:// for a raw port"},
    {"server busy with another client", "{far}", FarEnd::Mode::kTurnAway, CSerialLink::Fault::kInUse,
     "closed by the far end (\"Port already in use\")"},
    {"server accepts and says nothing", "{far}", FarEnd::Mode::kSilent, CSerialLink::Fault::kSetup,
     "not open: no answer to COM-port control (RFC 2217) within 1000 ms"},
    // The address is named where the line is: its reason says what is wrong.
    {"port 0", "tcp://127.0.0.1:0", FarEnd::Mode::kRaw, CSerialLink::Fault::kOther,
     "not open: the port must be a number from 1 to 65535"},
    {"port 65536", "rfc2217://127.0.0.1:65536", FarEnd::Mode::kRaw, CSerialLink::Fault::kOther,
     "not open: the port must be a number from 1 to 65535"},
    {"IPv6 address without its closing bracket", "tcp://[::1", FarEnd::Mode::kRaw, CSerialLink::Fault::kOther,
     "not open: no closing ] after the IPv6 address"},
    {"host name longer than any name can be", "tcp://" + std::string(300, 'h') + ":4000", FarEnd::Mode::kRaw,
     CSerialLink::Fault::kOther, "not open: the host name is longer than 253 characters"},
    // ser2net 4 answers on a telnet(rfc2217) port, then says why and closes;
    // the opening it left unread makes that close a reset.
    {"RFC 2217 server busy with another client", "{far}", FarEnd::Mode::kComPortTurnAway,
     CSerialLink::Fault::kInUse, "not open: closed by the far end (\"Port already in use\")"},
    {"RFC 2217 address on a server that floods", "rfc2217://127.0.0.1:{port}", FarEnd::Mode::kFlood,
     CSerialLink::Fault::kSetup,
     "not open: the server sent more than 64 KB without taking on COM-port control (RFC 2217)"},
    {"RFC 2217 server that floods option requests", "{far}", FarEnd::Mode::kOptionFlood,
     CSerialLink::Fault::kSetup,
     "not open: the server sent more than 64 KB without taking on COM-port control (RFC 2217)"},
};

class NetworkOpenFailure : public testing::TestWithParam<OpenFailure> {};

TEST_P(NetworkOpenFailure, NamesTheFaultWithinTheOpenBound) {
  FarEnd far(GetParam().mode);
  std::string address = GetParam().address;
  if (address == "{far}") address = far.Address();
  if (address == "{gone}") {
    address = far.Address();
    far.Stop();
  }
  if (const size_t at = address.find("{port}"); at != std::string::npos) {
    address.replace(at, 6, std::to_string(far.Port()));
  }
  ASSERT_TRUE(IsNetworkAddress(address));
  CSerialLink link([address](int32_t) { return address; });
  const auto start = Clock::now();
  EXPECT_EQ(link.OpenPort(1, kLineBaud), 0);
  EXPECT_LT(Clock::now() - start, kOpenBound + kSlack);
  EXPECT_EQ(link.LastFault(), GetParam().fault);
  EXPECT_NE(link_words::StateWords(link).find(GetParam().words), std::string::npos) << link_words::StateWords(link);
  EXPECT_LT(link.Reason().size(), 400u) << "a reason names no address of any length";
}

INSTANTIATE_TEST_SUITE_P(Cases, NetworkOpenFailure, testing::ValuesIn(kOpenFailures), testsupport::RowName{});

// The one check of an address, shared by the link's open, dimlet-cli and
// Ports…: what is wrong in words that follow the address.
struct AddressCheck {
  const char* name;
  std::string address;
  std::string problem;  // empty: it can be tried
};
void PrintTo(const AddressCheck& c, std::ostream* os) { *os << c.name; }

const AddressCheck kAddressChecks[] = {
    {"host and port", "tcp://hall-server:3001", ""},
    {"RFC 2217 on an IPv6 address", "rfc2217://[fe80::1%eth0]:1", ""},
    {"the highest port", "tcp://10.0.0.7:65535", ""},
    {"port 0", "tcp://h:0", "the port must be a number from 1 to 65535"},
    {"port 65536", "tcp://h:65536", "the port must be a number from 1 to 65535"},
    {"port that is no number", "tcp://h:30a", "the port must be a number from 1 to 65535"},
    {"no port after the colon", "rfc2217://h:", "the port must be a number from 1 to 65535"},
    {"no port", "tcp://h", "no port; write tcp://HOST:PORT"},
    {"no host", "rfc2217://:3001", "no host; write rfc2217://HOST:PORT"},
    {"IPv6 address without its closing bracket", "tcp://[::1", "no closing ] after the IPv6 address"},
    {"IPv6 address without brackets", "tcp://::1:3001", "an IPv6 address goes in [ ]"},
    {"something after the bracket", "tcp://[::1]3001", "write tcp://HOST:PORT"},
    {"host name of 254 characters", "tcp://" + std::string(254, 'a') + ":1",
     "the host name is longer than 253 characters"},
    {"host name with a space", "tcp://hall server:1", "the host name holds a space or a control character"},
    // Cut there, another host would be looked up.
    {"host name with a NUL inside", std::string("tcp://127.0.0.1\0.example:4000", 29),
     "the host name holds a space or a control character"},
};

class NetworkAddressCheck : public testing::TestWithParam<AddressCheck> {};

TEST_P(NetworkAddressCheck, SaysWhatIsWrongWithoutRepeatingTheAddress) {
  ASSERT_TRUE(IsNetworkAddress(GetParam().address));
  EXPECT_EQ(NetworkAddressProblem(GetParam().address), GetParam().problem);
}

INSTANTIATE_TEST_SUITE_P(Cases, NetworkAddressCheck, testing::ValuesIn(kAddressChecks), testsupport::RowName{});

TEST(NetworkAddressWords, AnAddressOfAnyLengthIsShownCutAndAShortOneWhole) {
  EXPECT_EQ(ShownAddress("tcp://hall-server:3001"), "tcp://hall-server:3001");
  const std::string huge = "tcp://" + std::string(20 << 20, 'h') + ".example:3001";
  const std::string shown = ShownAddress(huge);
  EXPECT_LE(shown.size(), 80u);
  EXPECT_EQ(shown.substr(0, 10), "tcp://hhhh");
  EXPECT_EQ(shown.substr(shown.size() - 12), "example:3001") << shown;
  // Never inside a character written in several bytes.
  std::string accented = "tcp://";
  for (int i = 0; i < 100; ++i) accented += "\u00e9";
  const std::string cut = ShownAddress(accented + ":1");
  EXPECT_EQ(cut.find("\u00e9\u00e9\u2026\u00e9"), cut.find("\u2026") - 4) << cut;
}

struct Escaping {
  const char* name;
  FarEnd::Mode mode;
  std::string host;
};
void PrintTo(const Escaping& c, std::ostream* os) { *os << c.name; }

class NetworkBytes : public testing::TestWithParam<Escaping> {};

TEST_P(NetworkBytes, EveryValueArrivesAsOneByteBothWays) {
  FarEnd far(GetParam().mode, GetParam().host);
  CSerialLink link([&far](int32_t) { return far.Address(); });
  ASSERT_EQ(link.OpenPort(1, kLineBaud), 1) << link.Reason();
  EXPECT_NE(link.LineNotes().find("network round trip"), std::string::npos) << link.LineNotes();

  const Bytes sent = {0xFF, 0x0D, 0x00, 0xA0, 0xFF, 0x0D, 0x0A};
  EXPECT_EQ(link.SendBytes(sent.data(), static_cast<int32_t>(sent.size())), static_cast<int32_t>(sent.size()));
  ASSERT_TRUE(far.WaitForData(sent.size(), milliseconds(2000)));
  Bytes data;
  for (const FarEnd::Arrival& arrival : far.Data()) data.push_back(arrival.byte);
  EXPECT_EQ(data, sent);

  const bool telnet = GetParam().mode == FarEnd::Mode::kComPort;
  // Telnet: a doubled IAC, a NOP and a line-state notice between the data.
  far.Send(telnet ? Bytes{0xFF, 0xFF, 0x0D, 0xFF, 0xF1, 0x00, 0xFF, 0xFA, 44, 106, 0x10, 0xFF, 0xF0, 0x41}
                  : Bytes{0xFF, 0x0D, 0x00, 0x41});
  EXPECT_EQ(ReadFor(link, 4), (Bytes{0xFF, 0x0D, 0x00, 0x41}));
}

INSTANTIATE_TEST_SUITE_P(Cases, NetworkBytes,
                         testing::Values(Escaping{"raw", FarEnd::Mode::kRaw, "127.0.0.1"},
                                         Escaping{"com_port", FarEnd::Mode::kComPort, "127.0.0.1"},
                                         Escaping{"com_port_ipv6", FarEnd::Mode::kComPort, "::1"}),
                         testsupport::RowName{});

struct Listening {
  const char* name;
  std::string host;   // where the server listens
  std::string asked;  // the host name the address gives
};
void PrintTo(const Listening& c, std::ostream* os) { *os << c.name; }

class NetworkOpenByName : public testing::TestWithParam<Listening> {};

// "localhost" may name ::1 first, where nobody listens, or (as many a
// /etc/hosts has it) only 127.0.0.1: it is both, and each address is tried.
TEST_P(NetworkOpenByName, AHostNameIsLookedUpAndEachOfItsAddressesTried) {
  FarEnd far(FarEnd::Mode::kRaw, GetParam().host);
  const std::string address = "tcp://" + GetParam().asked + ":" + std::to_string(far.Port());
  CSerialLink link([&address](int32_t) { return address; });
  ASSERT_EQ(link.OpenPort(1, kLineBaud), 1) << link.Reason();
  const uint8_t byte = 0x55;
  link.SendBytes(&byte, 1);
  EXPECT_TRUE(far.WaitForData(1, milliseconds(2000)));
}

INSTANTIATE_TEST_SUITE_P(Cases, NetworkOpenByName,
                         testing::Values(Listening{"localhost on IPv4 only", "127.0.0.1", "localhost"},
                                         Listening{"localhost on IPv6 only", "::1", "localhost"},
                                         Listening{"a name under localhost", "::1", "hall.Localhost."}),
                         testsupport::RowName{});

// A server that sends without end costs the program a bounded amount of
// memory whatever it is asked to do: the open, and the eight reads of `read`
// on a line that opened. Measured in a child of the test by the growth of its
// resident memory, so nothing else the test holds counts.
struct Flood {
  const char* name;
  FarEnd::Mode mode;
  bool telnet;
};
void PrintTo(const Flood& c, std::ostream* os) { *os << c.name; }

constexpr long kGrowthLimitKb = 16 << 10;

long StatusKb(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::string(key).size()));
  }
  return -1;
}

class NetworkFlood : public testing::TestWithParam<Flood> {};

TEST_P(NetworkFlood, CostsABoundedAmountOfMemory) {
  FarEnd far(GetParam().mode);
  const std::string address =
      std::string(GetParam().telnet ? "rfc2217" : "tcp") + "://127.0.0.1:" + std::to_string(far.Port());
  testsupport::ChildProcess child = testsupport::ChildProcess::Fork([&address] {
    const long before = StatusKb("VmRSS:");
    if (before < 0) return 3;
    CSerialLink link([&address](int32_t) { return address; });
    if (link.OpenPort(1, kLineBaud) == 1) {
      for (int32_t row = 0; row < 8; ++row) link.ReadRowAnswer(0, row);
    }
    const long growth = StatusKb("VmHWM:") - before;
    if (growth > kGrowthLimitKb) {
      std::fprintf(stderr, "resident memory grew by %ld KB\n", growth);
      return 1;
    }
    return 0;
  });
  ASSERT_TRUE(child.Running());
  EXPECT_EQ(child.StopWith(0, milliseconds(30000)), 0) << "the child's memory grew past " << kGrowthLimitKb << " KB";
}

INSTANTIATE_TEST_SUITE_P(Cases, NetworkFlood,
                         testing::Values(Flood{"zero bytes on a raw line", FarEnd::Mode::kFlood, false},
                                         Flood{"zero bytes on an RFC 2217 line", FarEnd::Mode::kFlood, true},
                                         Flood{"option requests on an RFC 2217 line", FarEnd::Mode::kOptionFlood,
                                               true}),
                         testsupport::RowName{});

TEST(NetworkNotes, ARoundTripTooLongForTheAnswerWaitNamesTheWaitThatWorks) {
  FarEnd far(FarEnd::Mode::kComPort);
  far.SetAnswerDelay(6);
  CSerialLink link([&far](int32_t) { return far.Address(); });
  ASSERT_EQ(link.OpenPort(1, kLineBaud), 1) << link.Reason();
  EXPECT_NE(link.LineNotes().find("too slow for a 5 ms answer wait; set it to "), std::string::npos)
      << link.LineNotes();
  link.ClosePort();
  LineOptions patient;
  patient.answerWaitMs = 50;
  link.SetLineOptions(patient);
  ASSERT_EQ(link.OpenPort(1, kLineBaud), 1) << link.Reason();
  EXPECT_EQ(link.LineNotes().find("too slow"), std::string::npos) << link.LineNotes();
}

TEST(NetworkNotes, AnswersStillArrivingWhenTheNextCommandBeginsAreCalledLate) {
  FarEnd far(FarEnd::Mode::kRaw);
  CSerialLink link([&far](int32_t) { return far.Address(); });
  ASSERT_EQ(link.OpenPort(1, kLineBaud), 1) << link.Reason();
  link.DiscardWaiting();
  EXPECT_EQ(link.LineNotes().find("late"), std::string::npos) << link.LineNotes();
  far.Send({0x10, 0x20});
  std::this_thread::sleep_for(milliseconds(50));
  link.DiscardWaiting();
  EXPECT_NE(link.LineNotes().find("chardelay: false"), std::string::npos) << link.LineNotes();
}

TEST(NetworkDrop, AResetUnderACommandIsALostLineWithinTheBoundsAndSaysSo) {
  FarEnd far(FarEnd::Mode::kComPort);
  CSerialLink link([&far](int32_t) { return far.Address(); });
  ASSERT_EQ(link.OpenPort(1, kLineBaud), 1) << link.Reason();
  far.ResetAfter(5);
  const auto start = Clock::now();
  for (int i = 0; i < 20 && link.IsPortOpen(); ++i) link.StoreOnUnit(1);
  EXPECT_LT(Clock::now() - start, milliseconds(1000));
  EXPECT_EQ(link.LastFault(), CSerialLink::Fault::kLost);
  EXPECT_NE(link_words::StateWords(link).find("network line lost: connection reset"), std::string::npos)
      << link_words::StateWords(link);
}

struct IdleDrop {
  const char* name;
  bool reset;
  std::string words;
};
void PrintTo(const IdleDrop& c, std::ostream* os) { *os << c.name; }

class NetworkIdleDrop : public testing::TestWithParam<IdleDrop> {};

TEST_P(NetworkIdleDrop, WakesTheWatchAndAfterTheLastBytesTheLinkIsLost) {
  FarEnd far(FarEnd::Mode::kRaw);
  CSerialLink link([&far](int32_t) { return far.Address(); });
  ASSERT_EQ(link.OpenPort(1, kLineBaud), 1) << link.Reason();
  if (GetParam().reset) {
    far.ResetAfter(0);
  } else {
    far.Send({0x42});
    far.CloseClient();
    EXPECT_EQ(ReadFor(link, 1), Bytes{0x42}) << "bytes sent before the close are still the unit's";
  }
  pollfd watch{link.WatchDescriptor(), POLLIN, 0};
  ASSERT_EQ(poll(&watch, 1, 1000), 1) << "the follower would not wake";
  const bool gone = link.CheckGone() || !link.IsPortOpen();
  EXPECT_TRUE(gone);
  EXPECT_EQ(link.LastFault(), CSerialLink::Fault::kLost);
  EXPECT_NE(link_words::StateWords(link).find(GetParam().words), std::string::npos) << link_words::StateWords(link);
}

INSTANTIATE_TEST_SUITE_P(Cases, NetworkIdleDrop,
                         testing::Values(IdleDrop{"reset", true, "network line lost: connection reset"},
                                         IdleDrop{"orderly close", false, "network line lost: closed by the far end"}),
                         testsupport::RowName{});

}  // namespace
