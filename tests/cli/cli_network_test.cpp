// dimlet-cli on a line behind a real ser2net, raw and with COM-port control:
// rows written, verified and scanned with the same results as on a local
// line, the line's state in `ports`, and a server that is away.
#include "cli_fixture.h"
#include "support/ser2net_bridge.h"

namespace {

using testing::HasSubstr;

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
    CliResult result = Run({"write", rows, "--port", address});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Frames(), (std::vector<Frame>{WriteRowFrame(1, 0, 255, 255, 255, 255), WriteRowFrame(1, 1, 13, 0, 255, 128),
                                            ReadRowFrame(1, 0), ReadRowFrame(1, 1), WriteRowFrame(6, 7, 1, 2, 3, 4),
                                            ReadRowFrame(6, 7)}));
    EXPECT_EQ(m_sim->Unit(1).rows[0], (std::array<int, 4>{255, 255, 255, 255}));
    result = Run({"verify", rows, "--port", address});
    EXPECT_EQ(result.status, 0) << result.err;
    result = Run({"scan", "--port", address});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "0\n1\n2\n3\n4\n5\n6\n7\n");
  }
  const CliResult ports = Run({"ports"});
  EXPECT_THAT(ports.out, HasSubstr("Com 3\t" + bridge.ComPortAddress() + "\tnetwork: reached, network round trip"));
  EXPECT_THAT(ports.out, HasSubstr("Com 4\t" + bridge.RawAddress() + "\tnetwork: reached, network round trip"));
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

}  // namespace
