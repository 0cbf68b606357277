// A dimlet-cli test's world: a folder of its own holding the operator's
// profile (XDG_CONFIG_HOME points there), a simulated unit line that Com 1 is
// mapped to, and the real dimlet-cli program run as a child process with its
// standard input, output and error each on a pipe.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/sim_line.h"
#include "support/temp_folder.h"

struct CliResult {
  int status = -1;  // the exit status; -1 when it did not end in time or was killed
  std::string out;  // standard output
  std::string err;  // standard error
  long peakKb = -1;  // the most resident memory the program held, in KB
};

// The program started with its output on pipes; Wait() collects the rest.
class CliChild {
 public:
  // With `errOnTerminal` standard error is a pseudo-terminal, as in a shell.
  CliChild(const std::vector<std::string>& args, const std::string& configHome, const std::string& input,
           bool errOnTerminal = false);
  // A bash script run in `configHome` instead, with $CLI naming the program;
  // with `holdInput` its standard input stays open until CloseInput().
  static std::unique_ptr<CliChild> Shell(const std::string& script, const std::string& configHome,
                                         bool holdInput = false);
  void CloseInput();
  ~CliChild();  // kills a child that is still running
  CliChild(const CliChild&) = delete;
  CliChild& operator=(const CliChild&) = delete;
  CliResult Wait();
  void Signal(int signal) const;

 private:
  CliChild() = default;
  void Start(std::vector<std::string> argv, const std::string& configHome, const std::string& input,
             bool errOnTerminal, bool holdInput);

  pid_t m_pid = -1;
  int m_in = -1;
  int m_out = -1;
  int m_err = -1;
};

class CliTest : public testing::Test {
 protected:
  // Every test also checks that no command changed the profile.
  void TearDown() override;

  // Starts the simulated line (once) with `options`.
  void StartSim(sim::SimOptions options = {});
  // Writes the profile: `text` plus a [Ports] entry mapping Com 1 to the line.
  void WriteProfile(const std::string& text = "");
  // Runs the bash `script` to its end in the test's folder ($CLI: dimlet-cli).
  CliResult RunShell(const std::string& script);
  // Runs dimlet-cli with `args` to its end; `input` is its standard input.
  CliResult Run(const std::vector<std::string>& args, const std::string& input = "", bool errOnTerminal = false);
  // A file in the test's folder holding `text`; returns its path.
  std::string File(const std::string& name, const std::string& text);

  // Bytes of each frame the line has recognised so far, after a moment for
  // stray ones.
  std::vector<std::vector<uint8_t>> Frames();

  testsupport::TempFolder m_folder;
  std::string m_dir = m_folder.Path();
  std::string m_profilePath = m_folder.File("dimlet.ini");
  std::string m_profileBefore;
  struct timespec m_profileTime {};
  std::unique_ptr<sim::SimLine> m_sim;
};

using Frame = std::vector<uint8_t>;
Frame WriteRowFrame(int unit, int row, int ch1, int ch2, int ch3, int ch4);
Frame ReadRowFrame(int unit, int row);
