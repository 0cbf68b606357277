// The link through a real ser2net to the simulated units, raw and with
// COM-port control: every command's bytes and pauses as the units receive
// them, all rows written and verified (one row all 255), and a scan.
#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

#include "device/serial_link.h"
#include "device/unit_operations.h"
#include "sim/sim_line.h"
#include "support/row_names.h"
#include "support/ser2net_bridge.h"
#include "support/temp_folder.h"

namespace {

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;

// The network may shift a byte against the next by its jitter; coalesced
// bytes would come with no gap at all.
constexpr long long kJitterUs = 500;
constexpr int kTestAnswerWaitMs = 20;

struct Through {
  const char* name;
  bool comPort;
};
void PrintTo(const Through& c, std::ostream* os) { *os << c.name; }

class Ser2netLine : public testing::TestWithParam<Through> {
 protected:
  void SetUp() override {
    sim::SimOptions options;
    options.units = {1, 4};
    options.linkPath = m_folder.File("line");
    m_sim = std::make_unique<sim::SimLine>(options);
    std::string error;
    ASSERT_TRUE(m_sim->Start(&error)) << error;
    m_bridge = std::make_unique<testsupport::Ser2netBridge>(options.linkPath, m_folder.Path());
    if (!m_bridge->Running()) GTEST_SKIP() << m_bridge->Why();
    m_address = GetParam().comPort ? m_bridge->ComPortAddress() : m_bridge->RawAddress();
    // ser2net is one more process to be scheduled before an answer arrives,
    // on a machine that runs tests side by side; how soon answers come is
    // the benchmark's to measure.
    LineOptions line;
    line.answerWaitMs = kTestAnswerWaitMs;
    m_link.SetLineOptions(line);
    ASSERT_EQ(m_link.OpenPort(1, kLineBaud), 1) << m_link.Reason();
  }

  testsupport::TempFolder m_folder;
  std::unique_ptr<sim::SimLine> m_sim;
  std::unique_ptr<testsupport::Ser2netBridge> m_bridge;
  std::string m_address;
  CSerialLink m_link{[this](int32_t) { return m_address; }};
};

struct Command {
  std::function<void(CSerialLink&)> send;
  Bytes wire;
  int pauseMs;
};

TEST_P(Ser2netLine, EveryCommandArrivesWithItsBytesAndPauses) {
  const Command commands[] = {
      {[](CSerialLink& l) { l.WriteRow(1, 2, 255, 13, 0, 300); }, {0xA1, 0x57, 0x02, 0xFF, 0x0D, 0x00, 0x2C}, 3},
      {[](CSerialLink& l) { l.ReadRowAnswer(4, 7); }, {0xA4, 0x52, 0x07}, 5},
      {[](CSerialLink& l) { l.StoreOnUnit(1); }, {0xA1, 0x57, 0x53}, 3},
      {[](CSerialLink& l) { l.SetRunState(1, 1); }, {0xA1, 0x57, 0x52}, 3},
      {[](CSerialLink& l) { l.ChangeAddress(4, 4); }, {0xA4, 0x57, 0x4A, 0x04}, 3},
      {[](CSerialLink& l) { l.SetHighestSequence(1, 255); }, {0xA1, 0x57, 0x51, 0x08}, 3},
  };
  for (const Command& command : commands) {
    SCOPED_TRACE(testing::PrintToString(command.wire));
    // As on a local line, a short pause shows in every try and scheduling
    // noise in one: each gap counts at its longest over up to five tries.
    std::vector<long long> longest(command.wire.size() - 1, 0);
    for (int attempt = 0; attempt < 5; ++attempt) {
      m_sim->ClearRecords();
      command.send(m_link);
      ASSERT_TRUE(m_sim->WaitForFrames(1, milliseconds(2000)));
      const std::vector<sim::ByteRecord> received = m_sim->Received();
      ASSERT_EQ(m_sim->Frames().front().bytes, command.wire);
      for (size_t i = 1; i < command.wire.size(); ++i) {
        const auto gap = std::chrono::duration_cast<std::chrono::microseconds>(received[i].at - received[i - 1].at);
        longest[i - 1] = std::max(longest[i - 1], static_cast<long long>(gap.count()));
      }
      if (*std::min_element(longest.begin(), longest.end()) >= command.pauseMs * 1000 - kJitterUs) break;
    }
    for (size_t i = 0; i < longest.size(); ++i) {
      EXPECT_GE(longest[i], command.pauseMs * 1000 - kJitterUs) << "bytes " << i << " and " << i + 1;
    }
  }
  EXPECT_TRUE(m_link.IsPortOpen()) << m_link.Reason();
}

TEST_P(Ser2netLine, AllRowsAreWrittenAndVerifiedAndTheScanFindsTheUnits) {
  std::vector<unit_operations::UnitRow> rows;
  for (int32_t row = 0; row < unit_protocol::kRowsPerUnit; ++row) rows.push_back({row, {row, 13, 0xFF, 200 - row}});
  rows[5].values = {255, 255, 255, 255};
  unit_operations::WriteRows(m_link, 4, rows);
  EXPECT_TRUE(unit_operations::VerifyRows(m_link, 4, rows).empty());
  EXPECT_EQ(m_sim->Unit(4).rows[5], (std::array<int, 4>{255, 255, 255, 255}));
  const CSerialLink::RowAnswer answer = m_link.ReadRowAnswer(4, 5);
  EXPECT_EQ(answer.arrived, 4);
  EXPECT_EQ(answer.channels, (std::array<uint8_t, 4>{255, 255, 255, 255}));
  EXPECT_EQ(unit_operations::ScanUnits(m_link), (std::vector<int32_t>{1, 4}));
}

INSTANTIATE_TEST_SUITE_P(Ser2net, Ser2netLine,
                         testing::Values(Through{"raw", false}, Through{"com_port_control", true}),
                         testsupport::RowName{});

}  // namespace
