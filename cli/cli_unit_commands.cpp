// The unit commands of device/unit_commands.h sent from dimlet-cli to each
// --unit: those nothing confirms, and set-address, asked for before and after.
#include <array>

#include "cli/cli_commands.h"
#include "settings/unit_list.h"

int RunUnitCommand(const CliContext& base) {
  const CliArguments& args = base.args;
  std::vector<PortChoice> lines;
  if (const CliChecked failed = ChooseLines(base, {}, &lines)) return base.Fail(*failed);
  if (const CliChecked failed = ComEntriesKnown(base.profile, lines)) return base.Fail(*failed);
  const std::vector<std::string> labels = LineLabels(lines);
  CliReport report(base.streams, args.quiet, args.json, labels, base.outFault);
  CliContext context = base;
  context.report = &report;

  const unit_commands::UnitCommandRow& command = *args.unitCommand;
  const std::string told = unit_commands::Words(command.told, args.value);  // what each unit was told
  const std::vector<int32_t> values(command.argumentCount, args.value);

  const int code = WorkLines(context, lines, [&](LineSession& line) {
    line.Counts().units += static_cast<int>(args.units.size());
    if (!line.Open()) {
      line.Counts().notReached += static_cast<int>(args.units.size());
      return static_cast<int>(kExitPortNotOpen);
    }
    for (size_t u = 0; u < args.units.size(); ++u) {
      const int unit = args.units[u];
      const std::vector<int> left(args.units.begin() + static_cast<long>(u), args.units.end());
      const int stopped = line.CheckStop("not sent to unit " + UnitListText(left));
      if (stopped != kExitDone) {
        OutputFaultSaid(line.Context(), stopped);
        line.Counts().notReached += static_cast<int>(left.size());
        return stopped;
      }
      line.Link().SendCommand(command.frame(unit, values));
      const bool sent = line.FramesSent("unit " + std::to_string(unit) + ": " + command.verb);
      JournalEntry entry = JournalFor(unit, "", unit_commands::JournalName(command.command),
                                     sent ? "sent" : line.LastFrameLeft());
      if (command.argumentCount > 0) entry.value = args.value;
      line.Journal(entry);
      if (!sent) {
        // A command that may have left whole may have been obeyed.
        line.Counts().CountFailedAt(!line.FrameNotSent(), left.size());
        line.Result({{"event", "unit"}, {"unit", unit}, {"outcome", line.LastFrameLeft()}});
        return static_cast<int>(kExitFailure);
      }
      ++line.Counts().done;
      line.Say("unit " + std::to_string(unit) + ": " + told);
      line.Result({{"event", "unit"}, {"unit", unit}, {"outcome", "sent"}, {"command", command.verb}});
    }
    return static_cast<int>(kExitDone);
  });
  return Summarize(context, told, false, code);
}

int RunSetAddress(const CliContext& base) {
  const CliArguments& args = base.args;
  std::vector<PortChoice> lines;
  if (const CliChecked failed = ChooseLines(base, {}, &lines)) return base.Fail(*failed);
  if (const CliChecked failed = ComEntriesKnown(base.profile, lines)) return base.Fail(*failed);
  CliReport report(base.streams, args.quiet, args.json, {lines[0].label}, base.outFault);
  CliContext context = base;
  context.report = &report;
  const unit_commands::UnitCommandRow& command = *args.unitCommand;
  const int unit = args.units[0];
  const int wanted = args.value;

  const int code = WorkLines(context, lines, [&](LineSession& line) {
    ++line.Counts().units;
    if (!line.Open()) {
      ++line.Counts().notReached;
      return static_cast<int>(kExitPortNotOpen);
    }
    auto answers = [&line](int address) {
      const std::vector<CSerialLink::RowAnswer> answer = unit_operations::ReadRows(line.Link(), address, {0});
      return !answer.empty() && answer[0].arrived > 0;
    };
    const std::string at = "address " + std::to_string(wanted);
    if (!args.force) {
      const bool taken = answers(wanted);
      if (!line.FramesSent("the check of " + at)) return static_cast<int>(kExitFailure);
      if (taken) {
        line.Message("a unit already answers at " + at + "; two units would share it (--force gives it all the "
                     "same). Nothing was sent");
        line.Result({{"event", "unit"}, {"unit", unit}, {"outcome", "refused"}, {"address", wanted}});
        return static_cast<int>(kExitFailure);
      }
    }
    const std::array<int32_t, 1> values = {wanted};
    line.Link().SendCommand(command.frame(unit, values));
    JournalEntry entry = JournalFor(unit, "", unit_commands::JournalName(command.command), "");
    entry.value = wanted;
    if (!line.FramesSent("unit " + std::to_string(unit) + ": " + command.verb)) {
      entry.outcome = "not sent";
      line.Journal(entry);
      return static_cast<int>(kExitFailure);
    }
    // Told below, once the address was checked: the outcome as said.
    auto journal = [&line, &entry](const char* outcome) {
      entry.outcome = outcome;
      line.Journal(entry);
    };
    const bool moved = answers(wanted);
    if (!line.FramesSent("the check of " + at)) {
      journal("sent, not checked");
      return static_cast<int>(kExitFailure);
    }
    // An answer at the new address proves nothing when another unit held it
    // (--force): only silence at the old one shows that the unit moved.
    const bool stayed = answers(unit);
    if (!line.FramesSent("the check of address " + std::to_string(unit))) {
      journal("sent, not checked");
      return static_cast<int>(kExitFailure);
    }
    if (moved && !stayed) {
      ++line.Counts().done;
      line.Say("unit " + std::to_string(unit) + ": " + unit_commands::Words(command.told, wanted));
      line.Result({{"event", "unit"}, {"unit", unit}, {"outcome", "address changed"}, {"address", wanted}});
      journal("address changed");
      return static_cast<int>(kExitDone);
    }
    if (moved) {
      line.Message("unit " + std::to_string(unit) + ": still answers at address " + std::to_string(unit) +
                   " after the change; the answer at " + at + " is another unit's");
      line.Result({{"event", "unit"}, {"unit", unit}, {"outcome", "not changed"}, {"address", wanted}});
      journal("not changed");
      return static_cast<int>(kExitFailure);
    }
    line.Message("unit " + std::to_string(unit) + ": no unit answers at " + at + " after the change; " +
                 (stayed ? "a unit still answers at address " + std::to_string(unit)
                         : "none answers at address " + std::to_string(unit) + " either"));
    line.Result({{"event", "unit"}, {"unit", unit}, {"outcome", "no answer"}, {"address", wanted},
                 {"old_address_answers", stayed}});
    journal("no answer");
    ++line.Counts().noAnswer;
    return static_cast<int>(kExitNoAnswer);
  });
  return Summarize(context, "", false, code);
}
