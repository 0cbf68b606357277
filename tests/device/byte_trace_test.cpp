// The byte trace as a file: every byte of a read-row and its answer, one line
// each with a rising time, and a trace that cannot be written says so.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>

#include "device/byte_trace.h"
#include "support/test_pty.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace {

TEST(ByteTrace, EachByteSentAndReceivedIsOneLineWithItsLineAndARisingTime) {
  testsupport::TempFolder folder;
  std::string error;
  std::unique_ptr<CByteTraceFile> trace = CByteTraceFile::Open(folder.File("trace.txt"), &error);
  ASSERT_TRUE(trace) << error;
  testsupport::TestPty pty;
  pty.AnswerAfter(3, {0x0a, 0x14, 0x1e, 0x28});
  CSerialLink link([&pty](int32_t) { return pty.SlavePath(); });
  link.SetByteTrace(trace->For(link));
  link.SetLineOptions({EchoMode::kAuto, 30, false});  // the far end may be held back on a busy machine
  ASSERT_EQ(link.OpenPort(1, kLineBaud), 1);
  const CSerialLink::RowAnswer answer = link.ReadRowAnswer(2, 5);
  ASSERT_TRUE(answer.Whole());
  link.ClosePort();

  const std::vector<std::string> lines = testsupport::Lines(testsupport::ReadFile(folder.File("trace.txt")));
  const std::vector<std::string> expected = {"sent a2", "sent 52", "sent 05", "received 0a",
                                             "received 14", "received 1e", "received 28"};
  ASSERT_EQ(lines.size(), expected.size());
  long long previous = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::istringstream fields(lines[i]);
    long long micros = 0;
    std::string direction, hex, line;
    fields >> micros >> direction >> hex >> line;
    EXPECT_EQ(direction + " " + hex, expected[i]) << lines[i];
    EXPECT_EQ(line, pty.SlavePath()) << lines[i];
    EXPECT_GE(micros, previous) << lines[i];
    previous = micros;
  }
  EXPECT_TRUE(trace->Error().empty()) << trace->Error();
  const std::string hostile = TraceLine(CSerialLink::TraceDirection::kSent, 0xa0, {}, "/dev/\x1b[2J\n");
  EXPECT_EQ(hostile.substr(hostile.find('/')), "/dev/\\x1b[2J\\x0a") << "control bytes of a path reach the terminal";
}

TEST(ByteTrace, AFileThatCannotBeOpenedOrWrittenIsReported) {
  testsupport::TempFolder folder;
  testsupport::TestPty unitLine;
  ASSERT_EQ(mkfifo(folder.File("fifo").c_str(), 0600), 0);
  const struct {
    std::string path;
    std::string error;
  } refused[] = {
      {"/nonexistent-folder/trace.txt", "/nonexistent-folder/trace.txt: No such file"},
      {folder.File("fifo"), "a FIFO that nobody reads"},  // used to wait for a reader for ever
      {unitLine.SlavePath(), "a terminal line"},          // used to put the trace's text on the line
  };
  std::string error;
  for (const auto& c : refused) {
    EXPECT_FALSE(CByteTraceFile::Open(c.path, &error)) << c.path;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }

  std::unique_ptr<CByteTraceFile> full = CByteTraceFile::Open("/dev/full", &error);
  ASSERT_TRUE(full);
  full->Write(CSerialLink::TraceDirection::kSent, 0xa0, std::chrono::steady_clock::now(), "/dev/pts/0");
  EXPECT_NE(full->Error().find("trace not written to /dev/full"), std::string::npos) << full->Error();
}

}  // namespace
