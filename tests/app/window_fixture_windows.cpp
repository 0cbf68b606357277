// The window tests' line on Windows, which has no pseudo-terminals: the
// simulator serves its units over TCP on a port of its choosing, and Com 1
// is mapped to tcp://127.0.0.1:PORT.
#include "window_fixture.h"

void WindowTest::StartSim(sim::SimOptions options) {
  options.listenPort = 0;
  m_sim = std::make_unique<sim::SimLine>(options);
  std::string error;
  ASSERT_TRUE(m_sim->Start(&error)) << error;
  m_linkPath = m_sim->SlavePath();
}

const int WindowTest::kAnswerWaitMs = 100;

const char* WindowTest::WhyNot(Need need) {
  switch (need) {
    case Need::kExclusiveDevice:
      return "Com 1 is the simulator served over TCP here, which refuses a second client by closing it: "
             "a device held by another program is a serial port's refusal, which wine's COM ports do not make";
    case Need::kLoadedLibraryList:
      return "the libraries a process has loaded are read from Linux's /proc/self/maps";
    case Need::kLinuxDevicePaths:
      return "the rows are Linux's device nodes and path rules (/dev/null, /dev/serial/by-id, ~/)";
    case Need::kSerialDriver:
      return "Com 1 is the simulator over TCP here: a network line has no driver to ask for RS-485 mode";
  }
  return nullptr;
}

const char* WindowTest::LostLineWords() { return "network line lost"; }

std::unique_ptr<sim::SimLine> WindowTest::StartOtherSim() {
  sim::SimOptions options;
  options.listenPort = 0;
  auto line = std::make_unique<sim::SimLine>(options);
  std::string error;
  EXPECT_TRUE(line->Start(&error)) << error;
  return line;
}
