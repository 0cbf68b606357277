// A running simulated line with a client already on its slave.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "sim/sim_line.h"
#include "support/files.h"
#include "support/temp_folder.h"
#include "support/test_pty.h"

namespace simtest {

using std::chrono::milliseconds;
using testsupport::Bytes;
using testsupport::PtyClient;
using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::WriteFile;

inline constexpr milliseconds kWait{2000};  // generous: only failures wait this long

// Line options with some fields set by `set`, the rest left at their defaults.
template <class Set>
sim::SimOptions Options(Set set) {
  sim::SimOptions options;
  set(options);
  return options;
}

class SimLineTest : public ::testing::Test {
 protected:
  // Starts a line and opens a client on it, raw unless `rawClient` is false.
  void StartLine(sim::SimOptions options = {}, bool rawClient = true) {
    line = std::make_unique<sim::SimLine>(std::move(options));
    std::string error;
    ASSERT_TRUE(line->Start(&error)) << error;
    client = std::make_unique<PtyClient>(line->SlavePath(), rawClient);
    ASSERT_TRUE(client->IsOpen()) << line->SlavePath();
  }

  // Sends the frames one after another and waits until the line has seen
  // them all.
  void SendFrames(const std::vector<Bytes>& frames) {
    const size_t before = line->Frames().size();
    for (const Bytes& f : frames) ASSERT_TRUE(client->Send(f));
    ASSERT_TRUE(line->WaitForFrames(before + frames.size(), kWait))
        << "saw " << line->Frames().size() - before << " of " << frames.size() << " frames";
  }

  std::string LastText() const {
    const auto frames = line->Frames();
    return frames.empty() ? std::string() : frames.back().text;
  }

  std::unique_ptr<sim::SimLine> line;
  std::unique_ptr<PtyClient> client;
};

}  // namespace simtest
