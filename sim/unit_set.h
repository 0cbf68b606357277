// The units present on the simulated line and what each does with a frame
// addressed to it: the unit side of the wire protocol, with the log line that
// tells an operator what happened.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/bus_clash.h"
#include "sim/sim_line.h"

namespace sim {

// How read-row frames are answered.
struct AnswerMode {
  int delayMs = 0;
  int bytes = 4;  // 0..4, the first bytes of the answer that are sent
  bool silent = false;
};

// What one frame did.
struct FrameAction {
  std::string text;            // the log line, without time stamp
  std::vector<uint8_t> answer; // bytes to send back, already trimmed
  bool stored = false;         // a unit copied its rows to its stored copy
  int storedAddress = -1;      // ... and answers at this address
};

// A unit as it comes from the factory: every row and its stored copy at 128.
UnitState FreshUnit(int address);

class UnitSet {
 public:
  explicit UnitSet(const std::vector<int>& addresses = {});

  // The unit answering at `address`, or nullptr; valid until the set changes.
  UnitState* Find(int address);
  const UnitState* Find(int address) const;
  const std::vector<UnitState>& Units() const { return m_units; }
  // A second unit answers at `address` too (-1: none), a little apart from
  // the first and by a different step each read. It hears every frame the
  // first does, so the two hold the same rows.
  void ShareAddress(int address) { m_shared = address; }

  // Acts on one whole frame as recognised by the scanner. Frames to an
  // address with no unit, and byte runs that are not one whole frame, change
  // nothing and say so in the text.
  FrameAction Apply(const std::vector<uint8_t>& frame, const AnswerMode& mode);

 private:
  std::vector<UnitState> m_units;
  int m_shared = -1;
  AnswerSkew m_skew;
};

}  // namespace sim
