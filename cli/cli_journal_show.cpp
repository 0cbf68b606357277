// The journal command: the journal's lines (the files moved aside first,
// oldest first), those of --unit, --port and --since, as text or JSON Lines.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "cli/cli_commands.h"
#include "cli/printable.h"
#include "settings/journal.h"
#include "settings/whole_file.h"

namespace {

// The earliest time --since lets through, as the journal writes times:
// "2026-12-08", "2026-12-08T20:15" (or with a blank for the T), or a span
// back from now ("90m", "12h", "3d"); empty for no --since. A usage
// failure when it is neither.
CliChecked SinceTime(const std::string& since, std::string* earliest) {
  earliest->clear();
  if (since.empty()) return {};
  const char unit = since.back();
  const std::string number = since.substr(0, since.size() - 1);
  if ((unit == 'm' || unit == 'h' || unit == 'd') && !number.empty() && number.size() <= 6 &&
      number.find_first_not_of("0123456789") == std::string::npos) {
    const int minutes = std::stoi(number) * (unit == 'm' ? 1 : unit == 'h' ? 60 : 24 * 60);
    *earliest = JournalTimeText(std::chrono::system_clock::now() - std::chrono::minutes(minutes));
    return {};
  }
  std::string time = since;
  if (time.size() > 10 && time[10] == ' ') time[10] = 'T';
  // Only digits where the journal's times have them, and its separators.
  const std::string form = "0000-00-00T00:00:00";
  bool sound = time.size() >= 10 && time.size() <= form.size() && time.size() != 11 && time.size() != 14 &&
               time.size() != 17;
  for (size_t i = 0; sound && i < time.size(); ++i) {
    sound = form[i] == '0' ? (time[i] >= '0' && time[i] <= '9') : time[i] == form[i];
  }
  // And each field within its range: a typo (2026-13-45) is said, never read
  // as a time after which nothing changed.
  const auto field = [&time](size_t at) {
    return time.size() > at ? static_cast<unsigned>(std::stoi(time.substr(at, at == 0 ? 4 : 2))) : 0U;
  };
  if (sound) {
    const std::chrono::year_month_day day{std::chrono::year(static_cast<int>(field(0))), std::chrono::month(field(5)),
                                          std::chrono::day(field(8))};
    sound = day.ok() && field(11) < 24 && field(14) < 60 && field(17) < 60;
  }
  if (!sound) {
    return UsageFailure("--since " + since + ": give a date (2026-12-08), a date and time in UTC (2026-12-08T20:15) "
                                             "or a span back from now (90m, 12h, 3d)");
  }
  *earliest = time;
  return {};
}

// " 1:(0,128,255,40) 2:(...)" for rows, " 44" for a value.
std::string WireText(const nlohmann::json& rows) {
  if (!rows.is_array()) return " " + rows.dump();
  std::string text;
  for (const nlohmann::json& row : rows) {
    if (!row.is_array() || row.size() != 1 + kChannels) continue;
    text += " " + row[0].dump() + ":(";
    for (size_t c = 1; c < row.size(); ++c) text += (c > 1 ? "," : "") + row[c].dump();
    text += ")";
  }
  return text;
}

// What went on the wire, and what was asked where that differs (entries of
// the first schema hold only the former).
std::string RowsText(const nlohmann::json& entry) {
  std::string text = entry.contains("value") ? WireText(entry["value"])
                     : entry.contains("rows") ? WireText(entry["rows"])
                                              : "";
  if (entry.contains("asked")) text += " (asked" + WireText(entry["asked"]) + ")";
  return text;
}

std::string Text(const nlohmann::json& entry, const char* name) {
  const auto field = entry.find(name);
  return field != entry.end() && field->is_string() ? field->get<std::string>() : std::string("-");
}

// What a path holds that is no regular file, in words.
const char* KindWords(std::filesystem::file_type type) {
  using std::filesystem::file_type;
  if (type == file_type::directory) return "a folder";
  if (type == file_type::fifo) return "a FIFO";
  if (type == file_type::block || type == file_type::character) return "a device";
  return "not a regular file";
}

}  // namespace

int RunJournal(const CliContext& context) {
  const CliArguments& args = context.args;
  std::string since;
  if (const CliChecked failed = SinceTime(args.since, &since)) return context.Fail(*failed);
  const std::string path = JournalPath();
  if (path.empty()) return context.Fail(UsageFailure("the journal is turned off (DIMLET_JOURNAL=off)"));
  std::vector<PortChoice> lines;
  for (const std::string& port : args.ports) lines.push_back(ChoosePort(context.profile, port));
  if (const CliChecked failed = ComEntriesKnown(context.profile, lines)) return context.Fail(*failed);
  std::vector<std::string> devices;
  for (const PortChoice& line : lines) devices.push_back(JournalText(line.path));

  int unreadable = 0;
  bool any = false;
  // A reader that left (| head) or a full disk ends the listing; the exit
  // status then says why, as for every command's output.
  const auto outputLost = [&context] {
    if (context.streams.out) return false;
    if (context.outFault && context.outFault->empty()) *context.outFault = OutputFaultWords(errno);
    return true;
  };
  for (int kept = kJournalKept; kept >= 0; --kept) {
    const std::string name = kept == 0 ? path : path + "." + std::to_string(kept);
    // Something else by a journal's name (a folder, a FIFO that would hold
    // the read) holds none of its lines: said, and the rest listed.
    std::error_code failed;
    const std::filesystem::file_status status = std::filesystem::status(name, failed);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
      context.streams.err << "dimlet-cli: " << Printable(name) << " is not a file of the journal ("
                          << KindWords(status.type()) << "): left out\n";
      continue;
    }
    std::string text;
    FileStamp stamp;
    std::string error;
    if (!ReadWholeFile(name, &text, &stamp, &error)) return context.Fail(WorkFailure(error));
    any = any || stamp.exists;
    size_t begin = 0;
    while (begin < text.size()) {
      size_t end = text.find('\n', begin);
      if (end == std::string::npos) end = text.size();
      const nlohmann::json entry = nlohmann::json::parse(text.begin() + static_cast<long>(begin),
                                                         text.begin() + static_cast<long>(end), nullptr, false);
      begin = end + 1;
      if (entry.is_discarded() || !entry.is_object() || !entry.contains("unit") || !entry["unit"].is_number_integer()) {
        ++unreadable;
        continue;
      }
      const int unit = entry["unit"].get<int>();
      const std::string device = entry.contains("line") && entry["line"].is_object() ? Text(entry["line"], "device") : "-";
      const std::string time = Text(entry, "time");
      if (!args.units.empty() && std::find(args.units.begin(), args.units.end(), unit) == args.units.end()) continue;
      if (!devices.empty() && std::find(devices.begin(), devices.end(), device) == devices.end()) continue;
      if (!since.empty() && time < since) continue;
      if (args.json) {
        context.streams.out << entry.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        if (outputLost()) return kExitDone;
        continue;
      }
      const std::string label = Text(entry, "label");
      std::string shown = time.substr(0, 19);
      if (shown.size() > 10) shown[10] = ' ';
      const std::string who = Text(entry, "user") + "@" + Text(entry, "host");
      const std::string technician = Text(entry, "technician");
      shown += "  " + (technician == "-" ? who : technician + " (" + who + ")") + "  " + Text(entry, "program") + "  " + device +
               " unit " + std::to_string(unit) + (label == "-" ? "" : " (" + label + ")") + "  " +
               Text(entry, "command") + RowsText(entry) + "  " + Text(entry, "outcome");
      if (entry.contains("read_again") && entry["read_again"].is_number_integer()) {
        shown += " (" + ReadAgainWords(entry["read_again"].get<int>()) + ")";
      }
      context.streams.out << Printable(shown) << '\n';
      if (outputLost()) return kExitDone;
    }
  }
  context.streams.out << std::flush;
  if (outputLost()) return kExitDone;
  if (!any && !args.json) context.streams.err << "dimlet-cli: the journal " << Printable(path) << " is empty: nothing has been changed yet\n";
  if (unreadable > 0) {
    context.streams.err << "dimlet-cli: " << unreadable
                        << (unreadable == 1 ? " line of the journal could not be read and was left out\n"
                                            : " lines of the journal could not be read and were left out\n");
  }
  return kExitDone;
}
