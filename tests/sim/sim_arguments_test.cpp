// The dimlet-sim command line: what an operator may type and what is refused.
#include "sim/sim_arguments.h"
#include "settings/unit_list.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {

struct UnitListCase {
  const char* text;
  std::vector<int> units;  // empty: refused
};

void PrintTo(const UnitListCase& c, std::ostream* os) { *os << c.text; }

class UnitLists : public ::testing::TestWithParam<UnitListCase> {};

TEST_P(UnitLists, ParseToSortedAddressesOrAreRefused) {
  const UnitListCase& c = GetParam();
  std::vector<int> units = {99};
  std::string error;
  const bool ok = ParseUnitList(c.text, &units, &error);
  if (c.units.empty()) {
    EXPECT_FALSE(ok) << c.text;
    EXPECT_FALSE(error.empty());
  } else {
    ASSERT_TRUE(ok) << c.text << ": " << error;
    EXPECT_EQ(units, c.units);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, UnitLists,
    ::testing::Values(UnitListCase{"0-7", {0, 1, 2, 3, 4, 5, 6, 7}}, UnitListCase{"0,2,5", {0, 2, 5}},
                      UnitListCase{"6,0-2", {0, 1, 2, 6}}, UnitListCase{"3", {3}}, UnitListCase{"", {}},
                      UnitListCase{"8", {}}, UnitListCase{"-1", {}}, UnitListCase{"0-8", {}},
                      UnitListCase{"5-2", {}}, UnitListCase{"1,,2", {}}, UnitListCase{"1,", {}},
                      UnitListCase{"1,1", {}}, UnitListCase{"0-3,2", {}}, UnitListCase{"a", {}},
                      UnitListCase{"1x", {}}),
    [](const auto& info) {
      std::string name = "Case" + std::to_string(info.index) + "_";
      for (char ch : std::string(info.param.text)) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
      return name;
    });

TEST(SimArguments, EveryOperatorOptionLandsInTheLineOptions) {
  const sim::SimArguments a = sim::ParseSimArguments(
      {"--link", "/tmp/com1", "--units", "0,2", "--state", "s.txt", "--delay", "40", "--latency", "16",
       "--answer-bytes", "2", "--silent", "--shared", "2"});
  ASSERT_TRUE(a.error.empty()) << a.error;
  EXPECT_FALSE(a.help);
  EXPECT_EQ(a.options.linkPath, "/tmp/com1");
  EXPECT_EQ(a.options.units, (std::vector<int>{0, 2}));
  EXPECT_EQ(a.options.stateFile, "s.txt");
  EXPECT_EQ(a.options.answerDelayMs, 40);
  EXPECT_EQ(a.options.latencyMs, 16);
  EXPECT_EQ(a.options.answerBytes, 2);
  EXPECT_TRUE(a.options.silent);
  EXPECT_EQ(a.options.sharedAddress, 2);
}

TEST(SimArguments, WrongCommandLinesAreRefusedWithAReason) {
  const std::vector<std::vector<std::string>> wrong = {
      {"--bogus"},         {"--link"},          {"--link", ""},          {"--delay", "-1"},
      {"--delay", "5ms"},  {"--answer-bytes", "5"}, {"--units", "9"},    {"--state"},
      {"--latency", "1001"}, {"--latency", "x"}, {"extra"},
      {"--listen", "70000"}, {"--listen", "::1:5000"}, {"--listen", ":5000"}, {"--listen", "h:"},
      {"--listen", "5000", "--link", "/tmp/com1"}, {"--shared", "8"}, {"--units", "0,1", "--shared", "3"},
  };
  for (const auto& args : wrong) {
    const sim::SimArguments a = sim::ParseSimArguments(args);
    EXPECT_FALSE(a.error.empty()) << args[0];
  }
}

// Served over TCP, the line is reached from this machine alone unless a host
// is named.
TEST(SimArguments, ListenIsOnLoopbackUnlessAHostIsNamed) {
  const struct {
    const char* value;
    const char* host;
    int port;
  } cases[] = {{"5000", "127.0.0.1", 5000}, {"0", "127.0.0.1", 0}, {"0.0.0.0:5000", "0.0.0.0", 5000},
               {"[::1]:5001", "::1", 5001}};
  for (const auto& c : cases) {
    const sim::SimArguments a = sim::ParseSimArguments({"--listen", c.value});
    ASSERT_TRUE(a.error.empty()) << c.value << ": " << a.error;
    EXPECT_EQ(a.options.listenHost, c.host) << c.value;
    EXPECT_EQ(a.options.listenPort, c.port) << c.value;
  }
  EXPECT_EQ(sim::ParseSimArguments({}).options.listenPort, -1) << "a pseudo-terminal unless asked";
}

TEST(SimArguments, HelpIsRecognisedAndTheTextNamesEveryOption) {
  EXPECT_TRUE(sim::ParseSimArguments({"--help"}).help);
  EXPECT_TRUE(sim::ParseSimArguments({"-h"}).help);
  // What follows a question is not read, so a wrong value cannot hide the answer.
  EXPECT_TRUE(sim::ParseSimArguments({"--help", "--delay", "x"}).help);
  EXPECT_TRUE(sim::ParseSimArguments({"--version", "--bogus"}).version);
  EXPECT_TRUE(sim::ParseSimArguments({"-V"}).version);
  EXPECT_FALSE(sim::ParseSimArguments({"--bogus", "--version"}).error.empty());
  const std::string usage = sim::UsageText();
  for (const char* option :
       {"--listen", "--link", "--units", "--state", "--delay", "--latency", "--answer-bytes", "--silent", "--shared", "--version"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
}

}  // namespace
