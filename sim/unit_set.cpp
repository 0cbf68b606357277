// What a simulated unit does with each frame addressed to it.
#include "sim/unit_set.h"

#include <algorithm>
#include <cstdio>

#include "sim/frame_scanner.h"

namespace sim {
namespace {


std::string JoinValues(const std::vector<uint8_t>& values) {
  std::string out;
  for (uint8_t v : values) {
    if (!out.empty()) out += ' ';
    out += std::to_string(v);
  }
  return out;
}

std::string ReadRowText(const std::vector<uint8_t>& answer, const AnswerMode& mode) {
  const int whole = frame::kChannelCount;
  if (mode.silent) return "no answer (silent)";
  if (answer.empty()) return "no answer (0 of " + std::to_string(whole) + " bytes)";
  std::string text = JoinValues(answer);
  if (static_cast<int>(answer.size()) < whole) {
    text += " (" + std::to_string(answer.size()) + " of " + std::to_string(whole) + " bytes)";
  }
  if (mode.delayMs > 0) text += " after " + std::to_string(mode.delayMs) + " ms";
  return text;
}

// The words for a frame, whoever it reaches.
std::string Describe(const std::vector<uint8_t>& f) {
  using namespace frame;
  if (f[1] == kRead) return "read row " + std::to_string(f[2]);
  const uint8_t third = f[2];
  if (third < kRowCount) {
    return "write row " + std::to_string(third) + " = " +
           JoinValues(std::vector<uint8_t>(f.begin() + 3, f.end()));
  }
  switch (third) {
    case kStore: return "store rows";
    case kRun: return "run";
    case kStop: return "stop";
    case kNewAddress: return "change address to " + std::to_string(f[3]);
    case kHighestSeq: return "set highest sequence " + std::to_string(f[3]);
    default: return "unknown frame";
  }
}

}  // namespace

UnitState FreshUnit(int address) {
  UnitState unit;
  unit.address = address;
  for (auto& row : unit.rows) row.fill(kFreshIntensity);
  unit.stored = unit.rows;
  unit.running = false;
  unit.highestSequence = kRows;
  return unit;
}

UnitSet::UnitSet(const std::vector<int>& addresses) {
  for (int address : addresses) {
    if (!Find(address)) m_units.push_back(FreshUnit(address));
  }
}

UnitState* UnitSet::Find(int address) {
  auto it = std::find_if(m_units.begin(), m_units.end(),
                         [address](const UnitState& u) { return u.address == address; });
  return it == m_units.end() ? nullptr : &*it;
}

const UnitState* UnitSet::Find(int address) const {
  return const_cast<UnitSet*>(this)->Find(address);
}

FrameAction UnitSet::Apply(const std::vector<uint8_t>& f, const AnswerMode& mode) {
  using namespace frame;
  FrameAction action;
  if (FrameLength(f) != static_cast<int>(f.size())) {
    action.text = "not a whole frame, ignored: " + JoinValues(f);
    return action;
  }
  const int address = AddressOf(f[0]);
  UnitState* unit = Find(address);
  if (!unit) {
    action.text = "no unit at address " + std::to_string(address) + ", ignored: " + Describe(f);
    return action;
  }
  const std::string who = "unit " + std::to_string(address) + ": ";
  action.text = who + Describe(f);

  if (f[1] == kRead) {
    std::vector<uint8_t> answer;
    for (int v : unit->rows[f[2]]) answer.push_back(static_cast<uint8_t>(v));
    const int keep = mode.silent ? 0 : std::clamp(mode.bytes, 0, static_cast<int>(kChannelCount));
    answer.resize(static_cast<size_t>(keep));
    action.text += " -> " + ReadRowText(answer, mode);
    if (address == m_shared && !answer.empty()) {
      const int late = m_skew.NextTicks();
      answer = HeardTogether(answer, answer, late);
      char apart[16];
      std::snprintf(apart, sizeof apart, "%.2f", static_cast<double>(late) / kBitTicks);
      action.text += "; a second unit " + std::string(apart) + " bits later, heard as " + JoinValues(answer);
    }
    action.answer = std::move(answer);
    return action;
  }

  const uint8_t third = f[2];
  if (third < kRowCount) {
    for (size_t c = 0; c < kChannelCount; ++c) unit->rows[third][c] = f[3 + c];
    return action;
  }
  switch (third) {
    case kStore:
      unit->stored = unit->rows;
      action.stored = true;
      action.storedAddress = address;
      break;
    case kRun:
      unit->running = true;
      break;
    case kStop:
      unit->running = false;
      break;
    case kNewAddress: {
      // A unit that took an address outside 0..7 could never be reached
      // again, and two units on one address would answer over each other:
      // the unit refuses both and stays where it is.
      const int target = f[3];
      if (target > static_cast<int>(kAddressMask)) {
        action.text += ", refused: not an address 0-7; stays at " + std::to_string(address);
      } else if (target != address && Find(target)) {
        action.text += ", refused: a unit already answers there; stays at " + std::to_string(address);
      } else {
        // A second unit on the address heard the same frame and moves with it.
        if (address == m_shared) m_shared = target;
        unit->address = target;
      }
      break;
    }
    case kHighestSeq:
      unit->highestSequence = std::min<int>(f[3], kRows);
      if (f[3] > kRows) action.text += ", taken as " + std::to_string(kRows);
      break;
    default:
      break;
  }
  return action;
}

}  // namespace sim
