// The link on a network line against a far end written in the tests: opening
// and its refusals within their bound and in the status line's words, IAC
// escaping both ways, the round trip and late answers in the line's notes, and
// a connection that drops under a command or while idle.
#include <poll.h>

#include <thread>

#include <gtest/gtest.h>

#include "device/link_words.h"
#include "device/network_address.h"
#include "device/serial_link.h"
#include "network_far_end.h"
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
  std::string address;  // "{far}" stands for the far end's address, "{gone}" for a port nobody listens on
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
  ASSERT_TRUE(IsNetworkAddress(address));
  CSerialLink link([address](int32_t) { return address; });
  const auto start = Clock::now();
  EXPECT_EQ(link.OpenPort(1, kLineBaud), 0);
  EXPECT_LT(Clock::now() - start, kOpenBound + kSlack);
  EXPECT_EQ(link.LastFault(), GetParam().fault);
  EXPECT_NE(link_words::StateWords(link).find(GetParam().words), std::string::npos) << link_words::StateWords(link);
}

INSTANTIATE_TEST_SUITE_P(Cases, NetworkOpenFailure, testing::ValuesIn(kOpenFailures), testsupport::RowName{});

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

// "localhost" may name ::1 first, where nobody listens: the next address is tried.
TEST(NetworkOpen, AHostNameIsLookedUpAndEachOfItsAddressesTried) {
  FarEnd far(FarEnd::Mode::kRaw, "127.0.0.1");
  const std::string address = "tcp://localhost:" + std::to_string(far.Port());
  CSerialLink link([&address](int32_t) { return address; });
  ASSERT_EQ(link.OpenPort(1, kLineBaud), 1) << link.Reason();
  const uint8_t byte = 0x55;
  link.SendBytes(&byte, 1);
  EXPECT_TRUE(far.WaitForData(1, milliseconds(2000)));
}

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
