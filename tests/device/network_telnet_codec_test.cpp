// The Telnet side of COM-port control as data: what arrives, split as the
// network may split it, against the data bytes and answers it must give.
#include <gtest/gtest.h>

#include "device/telnet_codec.h"
#include "support/row_names.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Received {
  const char* name;
  std::vector<Bytes> chunks;  // as successive reads deliver them, after the opening
  Bytes data;
  Bytes reply;
  telnet::ComPortState comPort;
};
void PrintTo(const Received& c, std::ostream* os) { *os << c.name; }

const Received kReceived[] = {
    {"doubled IAC is one data byte 255", {{0xFF, 0xFF, 0x41}}, {0xFF, 0x41}, {}, telnet::ComPortState::kAsked},
    {"IAC split across reads", {{0x41, 0xFF}, {0xFF}, {0xFF}, {0xF1, 0x42}}, {0x41, 0xFF, 0x42}, {},
     telnet::ComPortState::kAsked},
    {"agreement to our own requests is not answered again",
     {{0xFF, 0xFD, 0, 0xFF, 0xFB, 0, 0xFF, 0xFD, 3, 0xFF, 0xFB, 3, 0xFF, 0xFD, 44}}, {}, {},
     telnet::ComPortState::kAccepted},
    {"options we do not know are refused", {{0xFF, 0xFD, 24, 0xFF, 0xFB, 1}}, {}, {0xFF, 0xFC, 24, 0xFF, 0xFE, 1},
     telnet::ComPortState::kAsked},
    {"DONT COM-port is a refusal", {{0xFF, 0xFE, 44}}, {}, {}, telnet::ComPortState::kRefused},
    {"notices and escaped bytes inside a subnegotiation stay out of the data",
     {{0x41, 0xFF, 0xFA, 44, 106, 0xFF}, {0xFF, 0xFF, 0xF0, 0x42}}, {0x41, 0x42}, {},
     telnet::ComPortState::kAsked},
    {"CR NUL from a server without BINARY is one CR", {{0x0D, 0x00, 0x0D, 0x0A, 0x00}}, {0x0D, 0x0D, 0x0A, 0x00},
     {}, telnet::ComPortState::kAsked},
    {"NUL after CR is data once the server sends BINARY", {{0xFF, 0xFB, 0, 0x0D, 0x00}}, {0x0D, 0x00}, {},
     telnet::ComPortState::kAsked},
};

class TelnetReceive : public testing::TestWithParam<Received> {};

TEST_P(TelnetReceive, GivesTheDataBytesAndTheAnswers) {
  telnet::Session session;
  session.Opening();
  Bytes data, reply;
  for (const Bytes& chunk : GetParam().chunks) session.Receive(chunk.data(), chunk.size(), &data, &reply);
  EXPECT_EQ(data, GetParam().data);
  EXPECT_EQ(reply, GetParam().reply);
  EXPECT_EQ(session.ComPort(), GetParam().comPort);
}

INSTANTIATE_TEST_SUITE_P(Cases, TelnetReceive, testing::ValuesIn(kReceived), testsupport::RowName{});

TEST(TelnetSend, EscapesIacAlwaysAndCrUntilBinaryAndWritesSettingsBigEndian) {
  telnet::Session session;
  session.Opening();
  Bytes wire;
  for (uint8_t byte : {0xFF, 0x0D, 0x41}) session.Encode(byte, &wire);
  EXPECT_EQ(wire, (Bytes{0xFF, 0xFF, 0x0D, 0x00, 0x41}));

  Bytes data, reply;
  const Bytes agree = {0xFF, 0xFD, 0, 0xFF, 0xFA, 44, 101, 0, 0, 0x25, 0x80, 0xFF, 0xF0};
  session.Receive(agree.data(), agree.size(), &data, &reply);
  wire.clear();
  session.Encode(0x0D, &wire);
  EXPECT_EQ(wire, Bytes{0x0D});
  EXPECT_EQ(session.Answered(telnet::kSetBaudRate), 9600u);
  EXPECT_FALSE(session.Answered(telnet::kSetParity));

  EXPECT_EQ(session.Settings(9600), (Bytes{0xFF, 0xFA, 44, 1, 0, 0, 0x25, 0x80, 0xFF, 0xF0,  //
                                           0xFF, 0xFA, 44, 2, 8, 0xFF, 0xF0,              //
                                           0xFF, 0xFA, 44, 3, 1, 0xFF, 0xF0,              //
                                           0xFF, 0xFA, 44, 4, 1, 0xFF, 0xF0,              //
                                           0xFF, 0xFA, 44, 5, 1, 0xFF, 0xF0}));
}

}  // namespace
