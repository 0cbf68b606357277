// The explorer's scenarios from the fuzzer's bytes: each byte a choice of the
// line's habits, its units and the commands run on it, judged by the scripted
// far end's own record. A finding aborts with the scenario in one line.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "line_explorer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  explorer::Choices choices(std::span<const uint8_t>(data, size));
  const explorer::Scenario scenario = explorer::Generate(choices);
  const std::vector<std::string> findings = explorer::Judge(scenario);
  if (!findings.empty()) {
    std::fprintf(stderr, "%s: %s\n", scenario.Describe().c_str(), findings.front().c_str());
    std::abort();
  }
  return 0;
}
