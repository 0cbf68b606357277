// The window tests' line on Linux: the simulator on a pseudo-terminal, Com 1
// mapped to its link in the test's folder.
#include "window_fixture.h"

void WindowTest::StartSim(sim::SimOptions options) {
  options.linkPath = m_linkPath;
  m_sim = std::make_unique<sim::SimLine>(options);
  std::string error;
  ASSERT_TRUE(m_sim->Start(&error)) << error;
}

const int WindowTest::kAnswerWaitMs = 30;

const char* WindowTest::WhyNot(Need) { return nullptr; }

const char* WindowTest::LostLineWords() { return "unplugged, waiting for it"; }

std::unique_ptr<sim::SimLine> WindowTest::StartOtherSim() {
  auto line = std::make_unique<sim::SimLine>();
  std::string error;
  EXPECT_TRUE(line->Start(&error)) << error;
  return line;
}
