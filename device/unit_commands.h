// The commands a unit takes, each described once, by one row: its name, the
// frame it sends (a builder of unit_protocol.h), the values it takes and
// their ranges, the words its outcome is told in, and the verb and options
// dimlet-cli sends it by. The window's outcome words and dimlet-cli's
// parser, dispatch, usage, completion and JSON names are made from the rows.
//
// A new command is a builder in unit_protocol.h, a value of UnitCommand, its
// row here and the window's control; the compiler then names each switch
// that must handle it (the build has -Wswitch-enum and no `default:` arms).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "device/unit_protocol.h"
#include "settings/led_settings.h"
#include "settings/unit_list.h"

namespace unit_commands {

// In the order of the rows of kUnitCommands.
enum class UnitCommand { kWriteRow, kReadRow, kStore, kRun, kStop, kChangeAddress, kHighestSequence };

// How a sender learns that the unit took the command.
enum class Confirmation {
  kNone,        // nothing comes back: a frame that left whole is all there is
  kAnswer,      // the unit answers the frame (read-row)
  kNewAddress,  // afterwards the unit answers at the new address and no longer at the old
};

// A value the command takes, as the operator gives it, with its range.
struct Argument {
  const char* name;   // in usage: "NEW"
  const char* words;  // in messages: "a NEW address"
  int lowest;
  int highest;
};

struct UnitCommandRow {
  UnitCommand command;
  const char* name;  // in the window's messages: "store", "write-row"
  // The frame for `unit` and the command's values, in the order of `arguments`.
  unit_protocol::Frame (*frame)(int32_t unit, std::span<const int32_t> values);
  std::array<Argument, 5> arguments;
  size_t argumentCount;
  Confirmation confirmation;
  // dimlet-cli's verb that sends the command to each --unit, also its name
  // in messages and JSON; nullptr when the row commands (read, write,
  // verify, scan) send it.
  const char* verb;
  const char* summary;  // the verb's usage line; "{}" stands for its argument's range
  const char* options;  // options of its own beyond the line's and --unit: "--force"; "" for none
  const char* told;     // dimlet-cli: what each unit was told; "{}" stands for the value
  const char* sent;     // the window's outcome: "store sent"; "{}" stands for the value

  std::span<const Argument> Arguments() const { return {arguments.data(), argumentCount}; }
};

namespace detail {
using unit_protocol::Frame;
using Values = std::span<const int32_t>;
inline constexpr Argument kRowIndex{"ROW", "a ROW", 0, kSequenceRows - 1};
inline constexpr Argument kChannel{"CH", "a channel value", 0, 255};
}  // namespace detail

inline constexpr UnitCommandRow kUnitCommands[] = {
    {UnitCommand::kWriteRow, "write-row",
     [](int32_t unit, detail::Values v) { return unit_protocol::WriteRowFrame(unit, v[0], v[1], v[2], v[3], v[4]); },
     {detail::kRowIndex, detail::kChannel, detail::kChannel, detail::kChannel, detail::kChannel}, 5,
     Confirmation::kNone, nullptr, "", "", "", "row {} sent"},
    {UnitCommand::kReadRow, "read-row",
     [](int32_t unit, detail::Values v) { return unit_protocol::ReadRowFrame(unit, v[0]); }, {detail::kRowIndex}, 1,
     Confirmation::kAnswer, nullptr, "", "", "", "row {} read"},
    {UnitCommand::kStore, "store", [](int32_t unit, detail::Values) { return unit_protocol::StoreFrame(unit); }, {},
     0, Confirmation::kNone, "store", "make units store their rows", "", "told to store its rows", "store sent"},
    {UnitCommand::kRun, "run", [](int32_t unit, detail::Values) { return unit_protocol::RunStateFrame(unit, 1); },
     {}, 0, Confirmation::kNone, "run", "run units", "", "told to run", "run sent"},
    {UnitCommand::kStop, "stop", [](int32_t unit, detail::Values) { return unit_protocol::RunStateFrame(unit, 0); },
     {}, 0, Confirmation::kNone, "stop", "stop units", "", "told to stop", "stop sent"},
    {UnitCommand::kChangeAddress, "change address",
     [](int32_t unit, detail::Values v) { return unit_protocol::ChangeAddressFrame(unit, v[0]); },
     {Argument{"NEW", "a NEW address", 0, kUnitAddresses - 1}}, 1, Confirmation::kNewAddress, "set-address",
     "give unit N the address NEW ({}), checked before and after", "--force", "now answers at address {}",
     "address {} sent"},
    {UnitCommand::kHighestSequence, "highest sequence",
     [](int32_t unit, detail::Values v) {
       return unit_protocol::HighestSequenceFrame(unit, unit_protocol::LowByte(v[0]));
     },
     {Argument{"VALUE", "a VALUE", 1, kSequenceRows}}, 1, Confirmation::kNone, "set-highest",
     "set units' highest sequence ({})", "", "told its highest sequence is {}", "highest sequence {} sent"},
};

// Whether `command` is the last of UnitCommand. A command added to the enum
// is named here before the build goes on; the row check below then wants
// its row.
constexpr bool IsLast(UnitCommand command) {
  switch (command) {
    case UnitCommand::kWriteRow:
    case UnitCommand::kReadRow:
    case UnitCommand::kStore:
    case UnitCommand::kRun:
    case UnitCommand::kStop:
    case UnitCommand::kChangeAddress:
      return false;
    case UnitCommand::kHighestSequence:
      return true;
  }
  return false;
}

constexpr bool EveryCommandHasItsRow() {
  for (size_t i = 0; i < std::size(kUnitCommands); ++i) {
    if (kUnitCommands[i].command != static_cast<UnitCommand>(i)) return false;
  }
  return IsLast(kUnitCommands[std::size(kUnitCommands) - 1].command);
}
static_assert(EveryCommandHasItsRow(), "kUnitCommands holds one row per UnitCommand, in the enum's order");

constexpr const UnitCommandRow& RowOf(UnitCommand command) { return kUnitCommands[static_cast<size_t>(command)]; }

// The command's name in the journal (settings/journal.h): its verb, and
// "write" for write-row, which dimlet-cli's write sends.
constexpr const char* JournalName(UnitCommand command) {
  return command == UnitCommand::kWriteRow ? "write" : RowOf(command).verb ? RowOf(command).verb : RowOf(command).name;
}

// `pattern` with its "{}" replaced by `value`.
inline std::string Words(const char* pattern, const std::string& value) {
  std::string text = pattern;
  if (const size_t at = text.find("{}"); at != std::string::npos) text.replace(at, 2, value);
  return text;
}
inline std::string Words(const char* pattern, int value) { return Words(pattern, std::to_string(value)); }

// "0-7": the range of an argument as messages and usage show it.
inline std::string RangeText(const Argument& argument) {
  return std::to_string(argument.lowest) + "-" + std::to_string(argument.highest);
}

}  // namespace unit_commands
