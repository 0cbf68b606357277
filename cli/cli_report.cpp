// Keeping each line's output together while the lines work at once.
#include "cli/cli_report.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ostream>

#include "cli/printable.h"
#include "cli/console.h"
#include "cli/row_file.h"

CliReport::CliReport(const CliStreams& streams, bool quiet, bool json, std::vector<std::string> labels,
                     std::string* outFault)
    : m_streams(streams),
      m_quiet(quiet),
      m_json(json),
      m_labels(std::move(labels)),
      m_tallies(m_labels.empty() ? 1 : m_labels.size()),
      m_held(m_tallies.size()),
      m_outFaultTo(outFault) {}

void CliReport::CheckOut() {
  if (m_outFault.empty() && !m_streams.out) {
    m_outFault = OutputFaultWords(errno);
    if (m_outFaultTo) *m_outFaultTo = m_outFault;
  }
}

void CliReport::Put(size_t line, bool toOut, const std::string& text) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (line < m_held.size() && line != m_live) {
    (toOut ? m_held[line].out : m_held[line].err) += text;
    return;
  }
  if (toOut) {
    if (m_streams.progress && !m_quiet) m_streams.err << '\r' << std::string(60, ' ') << '\r' << std::flush;
    m_streams.out << text << std::flush;
    CheckOut();
  } else {
    m_streams.err << text << std::flush;
  }
}

void CliReport::Message(size_t line, const std::string& text) {
  EndProgress();
  // A message that names its line already ("Com 2 (/dev/ttyUSB1): …") is
  // not named twice.
  std::string where;
  if (m_labels.size() > 1) {
    const std::string& label = m_labels[line];
    const bool named = text.size() > label.size() && text.compare(0, label.size(), label) == 0 &&
                       (text[label.size()] == ':' || text[label.size()] == ' ');
    if (!named) where = label + ": ";
  }
  Put(line, false, "dimlet-cli: " + Printable(where + text) + '\n');
}

void CliReport::Say(size_t line, const std::string& text) {
  if (m_quiet || m_json) return;
  // With several lines, "unit 0" alone does not say which unit 0.
  Put(line, true, (m_labels.size() > 1 ? Printable(m_labels[line]) + ' ' : std::string()) + text + '\n');
}

void CliReport::Result(size_t line, nlohmann::json object) {
  if (!m_json) return;
  if (line < m_labels.size() && !object.contains("line")) object["line"] = m_labels[line];
  // Invalid UTF-8 in a path or a message is shown, not thrown over.
  Put(line, true, object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + '\n');
}

void CliReport::Data(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_streams.out << text << std::flush;
  CheckOut();
}

void CliReport::Data(size_t line, const std::string& text) {
  if (!m_json) Put(line, true, text);
}

void CliReport::Progress(size_t line, const std::string& text) {
  if (!m_streams.progress || m_quiet) return;
  std::string shown = (m_labels.size() > 1 ? m_labels[line] + ": " : "") + text;
  // Padded so that a shorter line covers the end of a longer one.
  if (shown.size() < 60) shown.resize(60, ' ');
  std::lock_guard<std::mutex> lock(m_mutex);
  m_streams.err << '\r' << Printable(shown) << std::flush;
}

void CliReport::EndProgress() {
  if (!m_streams.progress || m_quiet) return;
  std::lock_guard<std::mutex> lock(m_mutex);
  m_streams.err << '\r' << std::string(60, ' ') << '\r' << std::flush;
}

void CliReport::LineDone(size_t line) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_held[line].done = true;
  while (m_live < m_held.size() && m_held[m_live].done) {
    ++m_live;
    if (m_live == m_held.size()) break;
    Held& next = m_held[m_live];
    if (!next.err.empty()) m_streams.err << next.err << std::flush;
    if (!next.out.empty()) {
      m_streams.out << next.out << std::flush;
      CheckOut();
    }
    next.out.clear();
    next.err.clear();
  }
}

void CliReport::Closing(const std::string& text, bool toOut) {
  if (!m_quiet && !m_json) Put(m_held.size(), toOut, text + '\n');
}

void CliReport::ClosingResult(const nlohmann::json& object) {
  if (m_json) Put(m_held.size(), true, object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + '\n');
}

Tally CliReport::Total() const {
  Tally total;
  for (const Tally& t : m_tallies) {
    total.units += t.units;
    total.done += t.done;
    total.stored += t.stored;
    total.different += t.different;
    total.noAnswer += t.noAnswer;
    total.notReached += t.notReached;
    total.unconfirmed += t.unconfirmed;
    total.lineFaults += t.lineFaults;
    total.readAgain += t.readAgain;
  }
  return total;
}

std::string CliReport::OutputFault() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_outFault;
}

bool CliReport::OutputClosed() const {
  return m_streams.outFd >= 0 && OutputReaderLeft(m_streams.outFd);
}

std::string ReadAgainWords(int tries) {
  return std::to_string(tries) + (tries == 1 ? " row" : " rows") + " read again";
}

std::string OutputFaultWords(int err) {
  if (err == EPIPE) return "standard output was closed";
  return std::string("standard output could not be written") + (err ? std::string(": ") + std::strerror(err) : "");
}

int OutputFaultStatus(const std::string& fault) {
  return fault == OutputFaultWords(EPIPE) ? kExitClosedPipe : kExitFailure;
}

bool CliReport::Finish() {
  std::lock_guard<std::mutex> lock(m_mutex);
  errno = 0;
  m_streams.out.flush();
  CheckOut();
  return m_outFault.empty();
}
