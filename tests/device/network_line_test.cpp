// The network transport against a far end written in the tests: opening and
// its refusals within their bound, IAC escaping both ways, and a connection
// that drops under a command.
#include <poll.h>

#include <gtest/gtest.h>

#include "device/line_transport.h"
#include "network_far_end.h"
#include "support/row_names.h"

namespace {

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;

constexpr milliseconds kOpenBound{1000};
constexpr milliseconds kSlack{300};

std::unique_ptr<LineTransport> Open(const std::string& address, LineFailure* failure) {
  return OpenNetworkLine(address, 9600, LineOptions{}, failure);
}

Bytes ReadFor(LineTransport& line, size_t count, milliseconds within = milliseconds(1000)) {
  Bytes got;
  const auto deadline = LineClock::now() + within;
  while (got.size() < count && line.WaitReadable(deadline)) {
    uint8_t buffer[16];
    const int32_t n = line.ReadWaiting(buffer, sizeof buffer, deadline, nullptr);
    if (n <= 0) break;
    got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

struct OpenFailure {
  const char* name;
  std::string address;  // "{far}" stands for the far end's address, "{gone}" for a port nobody listens on
  FarEnd::Mode mode;
  CSerialLink::Fault fault;
  std::string reasonPart;
};
void PrintTo(const OpenFailure& c, std::ostream* os) { *os << c.name; }

const OpenFailure kOpenFailures[] = {
    {"no port", "tcp://127.0.0.1", FarEnd::Mode::kRaw, CSerialLink::Fault::kOther, "no port"},
    {"port out of range", "tcp://127.0.0.1:70000", FarEnd::Mode::kRaw, CSerialLink::Fault::kOther, "1 to 65535"},
    {"IPv6 without brackets", "tcp://::1:4000", FarEnd::Mode::kRaw, CSerialLink::Fault::kOther, "[ ]"},
    {"nobody listening", "{gone}", FarEnd::Mode::kRaw, CSerialLink::Fault::kNotFound, "Connection refused"},
    {"no such host", "tcp://no-such-host.invalid:4000", FarEnd::Mode::kRaw, CSerialLink::Fault::kNotFound,
     "look up no-such-host.invalid"},
    {"server refuses COM-port control", "{far}", FarEnd::Mode::kRefuseComPort, CSerialLink::Fault::kSetup,
     "refuses COM-port control"},
    {"server busy with another client", "{far}", FarEnd::Mode::kTurnAway, CSerialLink::Fault::kInUse,
     "closed by the far end (\"Port already in use\")"},
    {"server accepts and says nothing", "{far}", FarEnd::Mode::kSilent, CSerialLink::Fault::kSetup,
     "no answer to COM-port control"},
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
  LineFailure failure;
  const auto start = LineClock::now();
  EXPECT_EQ(Open(address, &failure), nullptr);
  EXPECT_LT(LineClock::now() - start, kOpenBound + kSlack);
  EXPECT_EQ(failure.fault, GetParam().fault);
  EXPECT_NE(failure.reason.find(GetParam().reasonPart), std::string::npos) << failure.reason;
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
  LineFailure failure;
  auto line = Open(far.Address(), &failure);
  ASSERT_NE(line, nullptr) << failure.reason;
  EXPECT_NE(line->Notes().find("network round trip"), std::string::npos) << line->Notes();

  const Bytes sent = {0xFF, 0x0D, 0x00, 0xA0, 0xFF, 0x0D, 0x0A};
  for (uint8_t byte : sent) {
    ASSERT_EQ(line->WriteByte(byte, LineClock::now() + milliseconds(1000), &failure), LineTransport::Sent::kLeft);
  }
  ASSERT_TRUE(far.WaitForData(sent.size(), milliseconds(2000)));
  Bytes data;
  for (const FarEnd::Arrival& arrival : far.Data()) data.push_back(arrival.byte);
  EXPECT_EQ(data, sent);

  const bool telnet = GetParam().mode == FarEnd::Mode::kComPort;
  // Telnet: a doubled IAC, a NOP and a line-state notice between the data.
  far.Send(telnet ? Bytes{0xFF, 0xFF, 0x0D, 0xFF, 0xF1, 0x00, 0xFF, 0xFA, 44, 106, 0x10, 0xFF, 0xF0, 0x41}
                  : Bytes{0xFF, 0x0D, 0x00, 0x41});
  EXPECT_EQ(ReadFor(*line, 4), (Bytes{0xFF, 0x0D, 0x00, 0x41}));
}

INSTANTIATE_TEST_SUITE_P(Cases, NetworkBytes,
                         testing::Values(Escaping{"raw", FarEnd::Mode::kRaw, "127.0.0.1"},
                                         Escaping{"com_port", FarEnd::Mode::kComPort, "127.0.0.1"},
                                         Escaping{"com_port_ipv6", FarEnd::Mode::kComPort, "::1"}),
                         testsupport::RowName{});

TEST(NetworkNotes, ARoundTripTooLongForTheAnswerWaitNamesTheWaitThatWorks) {
  FarEnd far(FarEnd::Mode::kComPort);
  far.SetAnswerDelay(6);
  LineFailure failure;
  auto line = Open(far.Address(), &failure);
  ASSERT_NE(line, nullptr) << failure.reason;
  EXPECT_NE(line->Notes().find("too slow for a 5 ms answer wait; set it to "), std::string::npos) << line->Notes();
  line.reset();
  LineOptions patient;
  patient.answerWaitMs = 50;
  line = OpenNetworkLine(far.Address(), 9600, patient, &failure);
  ASSERT_NE(line, nullptr) << failure.reason;
  EXPECT_EQ(line->Notes().find("too slow"), std::string::npos) << line->Notes();
}

TEST(NetworkNotes, AnswersStillArrivingWhenTheNextCommandBeginsAreCalledLate) {
  FarEnd far(FarEnd::Mode::kRaw);
  LineFailure failure;
  auto line = Open(far.Address(), &failure);
  ASSERT_NE(line, nullptr) << failure.reason;
  EXPECT_TRUE(line->DiscardWaiting(&failure));
  EXPECT_EQ(line->Notes().find("late"), std::string::npos) << line->Notes();
  far.Send({0x10, 0x20});
  ASSERT_TRUE(line->WaitReadable(LineClock::now() + milliseconds(1000)));
  EXPECT_TRUE(line->DiscardWaiting(&failure));
  EXPECT_NE(line->Notes().find("chardelay: false"), std::string::npos) << line->Notes();
}

TEST(NetworkDrop, AResetUnderACommandIsALostLineWithinTheBoundsAndSaysSo) {
  FarEnd far(FarEnd::Mode::kComPort);
  LineFailure failure;
  auto line = Open(far.Address(), &failure);
  ASSERT_NE(line, nullptr) << failure.reason;
  far.ResetAfter(3);
  const auto start = LineClock::now();
  LineTransport::Sent sent = LineTransport::Sent::kLeft;
  for (int i = 0; i < 200 && sent == LineTransport::Sent::kLeft; ++i) {
    sent = line->WriteByte(0xA1, LineClock::now() + milliseconds(1000), &failure);
    if (sent == LineTransport::Sent::kLeft) std::this_thread::sleep_for(milliseconds(3));
    uint8_t byte;
    if (sent == LineTransport::Sent::kLeft && line->ReadWaiting(&byte, 1, LineClock::now(), &failure) < 0) break;
  }
  EXPECT_LT(LineClock::now() - start, milliseconds(1000));
  EXPECT_EQ(failure.fault, CSerialLink::Fault::kLost);
  EXPECT_NE(failure.reason.find("reset"), std::string::npos) << failure.reason;
  pollfd entry{line->Descriptor(), POLLIN, 0};
  EXPECT_EQ(poll(&entry, 1, 0), 1);  // the follower's watch wakes up
}

TEST(NetworkDrop, AnOrderlyCloseEndsTheLineAfterTheBytesSentBeforeIt) {
  FarEnd far(FarEnd::Mode::kRaw);
  LineFailure failure;
  auto line = Open(far.Address(), &failure);
  ASSERT_NE(line, nullptr) << failure.reason;
  ASSERT_EQ(line->WriteByte(0x01, LineClock::now() + milliseconds(1000), &failure), LineTransport::Sent::kLeft);
  ASSERT_TRUE(far.WaitForData(1, milliseconds(2000)));
  far.Send({0x42});
  far.CloseClient();
  EXPECT_EQ(ReadFor(*line, 1), Bytes{0x42});
  EXPECT_TRUE(line->WaitReadable(LineClock::now() + milliseconds(1000)));
  uint8_t byte;
  EXPECT_EQ(line->ReadWaiting(&byte, 1, LineClock::now(), &failure), -1);
  EXPECT_EQ(failure.fault, CSerialLink::Fault::kLost);
  EXPECT_NE(failure.reason.find("closed by the far end"), std::string::npos) << failure.reason;
}

}  // namespace
