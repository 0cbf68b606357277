// The explorer: line behaviours generated from a seed (or from a fuzzer's
// bytes), each run through the link and the whole-unit operations on virtual
// time against a scripted far end, and judged by an oracle of its own that
// reads only the far end's record of what it received and sent.
//
// What the oracle holds the link to:
// - a row is taken, verified or counted only if its four bytes were the
//   addressed unit's own answer, intact, each within the answer wait, with
//   nothing else on the line around it;
// - a frame told as sent left whole: the units heard exactly its bytes;
// - a row read again after a fault that passed is judged by its last try's
//   frame, never by the one before;
// - a unit is found by a scan only if a unit at that address answered;
// - every command ends within its bound in virtual time.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "device/unit_commands.h"
#include "settings/line_options.h"
#include "support/scripted_line.h"

namespace explorer {

// Where the scenario's choices come from: a seeded generator, or a fuzzer's bytes.
class Choices {
 public:
  explicit Choices(uint64_t seed) : m_state(seed) {}
  explicit Choices(std::span<const uint8_t> bytes) : m_bytes(bytes), m_fromBytes(true) {}
  // 0..count-1.
  int Pick(int count);
  bool OneIn(int count) { return Pick(count) == 0; }

 private:
  uint64_t m_state = 0;
  std::span<const uint8_t> m_bytes;
  size_t m_used = 0;
  bool m_fromBytes = false;
};

enum class StepKind { kWriteRows, kReadRows, kVerifyRows, kScan, kCommand, kReadRow };

struct Step {
  StepKind kind = StepKind::kScan;
  int unit = 0;
  std::vector<int> rows;                        // kWriteRows, kReadRows, kVerifyRows, kReadRow (one)
  std::vector<std::array<int32_t, 4>> values;   // kWriteRows, kVerifyRows: per row
  unit_commands::UnitCommand command = unit_commands::UnitCommand::kStore;  // kCommand
  int32_t value = 0;                            // kCommand's argument, if it takes one
  int retries = 0;                              // kReadRows, kVerifyRows: more tries a row gets
  bool justWritten = false;                     // kVerifyRows: as after a write (silent rows read
                                                // again, differing ones written again)
};

struct Scenario {
  testsupport::LineScript script;
  LineOptions options;
  std::vector<Step> steps;
  // One line: the line's habits and the commands, for a failure's message.
  std::string Describe() const;
};

Scenario Generate(Choices& choices);

// Runs `scenario` and returns what the oracle found wrong, one line each;
// empty when the link told only the truth.
std::vector<std::string> Judge(const Scenario& scenario);

// Generate(seed) and Judge; a failure as "seed N: <line>: <finding>".
std::vector<std::string> ExploreSeed(uint64_t seed);

// The seed's run as the far end saw it, byte by byte with its time, and what
// the link told after each step: for a person replaying a failure.
std::string Replay(uint64_t seed);

}  // namespace explorer
