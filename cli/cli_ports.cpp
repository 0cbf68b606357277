// dimlet-cli ports: the Com entries of the profile with their devices and
// line options, and the serial adapters found, with the entry mapped to each.
#include <ostream>

#include "cli/cli_commands.h"
#include "cli/printable.h"
#include "device/adapter_tuning.h"
#include "device/link_words.h"
#include "device/serial_ports.h"
#include "settings/port_map.h"

namespace {

// The answer wait a link gives a line with `options`: theirs, or the protocol's.
// The answer wait a line starts with: the one set, or where an automatic one
// starts on the adapter at `path` (its latency timer, where the system says).
int AnswerWaitOf(const LineOptions& options, const std::string& path) {
  if (!options.AnswerWaitAuto()) return std::max(options.answerWaitMs, unit_protocol::kAnswerWindowMs);
  return AutoAnswerWaitStartMs(AdapterLatencyTimerMs(TtyNameOf(path)));
}

std::string OptionsWords(const LineOptions& options, const std::string& path) {
  const std::string wait = std::to_string(AnswerWaitOf(options, path)) + " ms";
  return "echo " + std::string(EchoModeText(options.echo)) + "\tanswer wait " +
         (options.AnswerWaitAuto() ? "auto, from " + wait : wait) + "\tRS-485 " + (options.rs485 ? "on" : "off");
}

// Whether a server answers is known only by connecting (within the bound of
// an open): "network: reached" and what the connection showed (its round
// trip, and whether that is too slow for the entry's answer wait), or why it
// could not be reached.
std::string NetworkLineState(const PortChoice& port, int entry) {
  CSerialLink link([&port](int32_t) { return port.path; });
  link.SetLineOptions(port.options);
  if (!link.OpenPort(entry, kLineBaud)) return "network: " + link_words::StateWords(link);
  const std::string notes = link_words::LineWords(link);
  return notes.empty() ? "network: reached" : "network: reached, " + notes;
}

}  // namespace

int RunPorts(const CliContext& base) {
  // Every entry shown, and which is chosen, would be the defaults put forward as the profile's.
  if (const CliChecked failed = ComEntriesKnown(base.profile, {ChoosePort(base.profile, "")})) return base.Fail(*failed);
  CliReport report(base.streams, base.args.quiet, base.args.json, {}, base.outFault);
  CliContext context = base;
  context.report = &report;
  const int chosen = ChoosePort(context.profile, "").comEntry;
  const auto listed = ListSerialPorts();
  const std::vector<SerialPortInfo> adapters = listed.ValueOr({});
  std::vector<std::string> mappedTo(adapters.size());
  // Standard output closed (| head -1) or a stop: the rest is not listed (a
  // network entry may take a second to reach).
  int code = kExitDone;
  std::string stopped;
  auto going = [&]() { return (code = StopStatus(context, &stopped)) == kExitDone; };
  for (int entry = 1; entry <= kComEntries && going(); ++entry) {
    const PortChoice port = ChoosePort(context.profile, ComEntryName(entry));
    const std::string state =
        port.Network() ? NetworkLineState(port, entry) : SerialDeviceThere(port.path) ? "there" : "missing";
    for (size_t a = 0; a < adapters.size(); ++a) {
      if (adapters[a].IsNamed(port.path)) mappedTo[a] += (mappedTo[a].empty() ? "" : ",") + ComEntryName(entry);
    }
    if (!report.Json()) {
      // A path from the profile and a server's words may hold control bytes.
      report.Data(ComEntryName(entry) + '\t' + Printable(port.path) + '\t' + Printable(state) + (entry == chosen ? "\tchosen" : "\t-") +
                  '\t' + OptionsWords(port.options, port.path) + '\n');
    }
    for (const ReplacedValue& value : port.unread) report.Message(0, UnreadWords(value));
    report.Result(0, {{"event", "com entry"},
                      {"entry", ComEntryName(entry)},
                      {"path", port.path},
                      {"state", state},
                      {"chosen", entry == chosen},
                      {"echo", EchoModeText(port.options.echo)},
                      {"answer_wait_ms", AnswerWaitOf(port.options, port.path)},
                      {"answer_wait_auto", port.options.AnswerWaitAuto()},
                      {"rs485", port.options.rs485}});
  }
  // What an adapter says of itself (its USB strings) is the adapter's to choose.
  auto shown = [](const std::string& text) { return text.empty() ? std::string("-") : Printable(text); };
  for (size_t a = 0; a < adapters.size() && going(); ++a) {
    const SerialPortInfo& port = adapters[a];
    const int latency = AdapterLatencyTimerMs(TtyNameOf(port.devNode));
    if (!report.Json()) {
      report.Data("adapter\t" + Printable(port.devNode) + '\t' + shown(port.byId) + '\t' + shown(port.manufacturer) + '\t' +
                  shown(port.product) + '\t' + shown(port.vendorProduct) + '\t' + shown(port.serial) + '\t' +
                  (latency >= 0 ? "latency " + std::to_string(latency) + " ms" : "latency -") + '\t' +
                  shown(mappedTo[a]) + '\n');
    }
    report.Result(0, {{"event", "adapter"},
                      {"path", port.devNode},
                      {"by_id", port.byId},
                      {"manufacturer", port.manufacturer},
                      {"product", port.product},
                      {"usb_id", port.vendorProduct},
                      {"serial", port.serial},
                      {"latency_ms", latency >= 0 ? nlohmann::json(latency) : nlohmann::json()},
                      {"com_entry", mappedTo[a]}});
  }
  if (!listed) report.Message(0, "serial adapters could not be listed: " + listed.Failure().reason);
  // An output that failed otherwise is said once, at the end of the run.
  if (code > 128) report.Message(0, stopped + "; the rest is not listed");
  report.ClosingResult(
      {{"event", "summary"}, {"command", "ports"}, {"com_entries", kComEntries}, {"adapters", adapters.size()},
       {"exit", code}});
  return code;
}
