// The handover report's page and JSON, from the facts gathered by the report
// command.
#include "cli/handover_report.h"

#include <string_view>
#include <utility>
#include <vector>

#include "settings/unit_list.h"

namespace {

// Text as HTML shows it: the five characters that mean markup escaped.
std::string Html(std::string_view text) {
  std::string html;
  html.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': html += "&amp;"; break;
      case '<': html += "&lt;"; break;
      case '>': html += "&gt;"; break;
      case '"': html += "&quot;"; break;
      case '\'': html += "&#39;"; break;
      default: html += c;
    }
  }
  return html;
}

std::string UnitName(const ReportLine& line, const ReportUnit& unit) {
  std::string name = line.name + " unit " + std::to_string(unit.address);
  if (!unit.label.empty()) name += " \xE2\x80\x94 " + unit.label;  // an em dash
  return name;
}

bool CellDiffers(const ReportUnit& unit, int row, int channel) {
  const int planned = unit.plan[row][channel];
  return planned >= 0 && unit.held[row][channel] != planned;
}

bool CellHeard(const ReportUnit& unit, int row, int channel) { return unit.held[row][channel] >= 0; }

bool AnyCellHeard(const ReportUnit& unit) {
  for (int r = 0; r < kSequenceRows; ++r) {
    for (int c = 0; c < kChannels; ++c) {
      if (CellHeard(unit, r, c)) return true;
    }
  }
  return false;
}

// On screen the page is as wide as two unit cards; printed on A4 the same.
// A line's heading, its facts and its first two cards are one block that
// printing does not break, so no heading ends a page; a card is never split.
// The footer repeats at the foot of every printed page: Chromium prints a
// fixed block on each page, and the page's content sits in a table whose
// footer, repeated on each page too, keeps it clear of that block (CSS page
// margin boxes, where a footer would belong, Chromium does not print).
// Chromium prints the page number below it when asked for its own header and
// footer.
constexpr const char* kStyle = R"(
body { font: 11pt/1.4 "DejaVu Sans", "Liberation Sans", Arial, sans-serif; color: #111; margin: 2em auto;
       padding: 0 1em; max-width: 56em; overflow-wrap: anywhere; }
h1 { font-size: 18pt; margin: 0 0 0.2em; }
h2 { font-size: 13pt; margin: 1.4em 0 0.4em; border-bottom: 1px solid #888; }
table.facts td { padding: 0 1.2em 0 0; vertical-align: top; }
table.facts td:first-child { color: #555; }
.blank { display: inline-block; min-width: 16em; border-bottom: 1px solid #555; }
.summary { padding: 0.6em 0.9em; border: 2px solid; margin: 1em 0; }
.summary.good { border-color: #2a7a2a; background: #eef7ee; }
.summary.mixed { border-color: #8a5a00; background: #fbf5e6; }
.summary.bad { border-color: #b02020; background: #fbeeee; }
.summary ul { margin: 0.3em 0 0; }
.keep { break-inside: avoid; page-break-inside: avoid; }
.unit { display: inline-block; vertical-align: top; width: 48.5%; margin: 0 1% 0.8em 0; padding: 0.5em;
        box-sizing: border-box; border: 1px solid #bbb; break-inside: avoid; page-break-inside: avoid; }
.unit svg { width: 100%; height: auto; }
.unit h3 { font-size: 11pt; margin: 0 0 0.3em; }
.verdict { font-weight: bold; }
.v-as-planned { color: #2a7a2a; } .v-differs { color: #b02020; } .v-no-answer { color: #b02020; }
.v-not-in-the-plan { color: #8a5a00; } .v-not-read { color: #b02020; }
.fault { color: #b02020; }
.sign table { border-collapse: collapse; margin-top: 0.6em; }
.sign td { padding: 1.4em 1.2em 0 0; vertical-align: bottom; }
.sign td.blank { display: table-cell; width: 22em; }
.page-foot { display: none; }
table.sheet { border-collapse: collapse; width: 100%; }
table.sheet > * > tr > td { padding: 0; }
svg text { font: 8px "DejaVu Sans", Arial, sans-serif; }
@page { size: A4; margin: 14mm 14mm 20mm; }
@media print {
  body { margin: 0; padding: 0; max-width: none; font-size: 10pt; }
  .summary, .unit rect { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
  .page-foot { display: block; position: fixed; bottom: 0; left: 0; right: 0; font-size: 8pt; color: #555;
               border-top: 1px solid #bbb; padding-top: 1mm; }
  .foot-space { height: 8mm; }
}
)";

// One grid of eight sequences by four channels at (x, y): each cell shaded by
// its value and showing it, "-" where there is none, a red frame where the
// unit's cell is not the plan's.
std::string Grid(const ReportUnit& unit, const UnitCells& cells, int x, int y, const char* title) {
  constexpr int kCellW = 26, kCellH = 14;
  std::string svg = "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y - 14) + "\" font-weight=\"bold\">" +
                    title + "</text>";
  for (int c = 0; c < kChannels; ++c) {
    svg += "<text x=\"" + std::to_string(x + c * kCellW + kCellW / 2) + "\" y=\"" + std::to_string(y - 3) +
           "\" text-anchor=\"middle\">CH" + std::to_string(c + 1) + "</text>";
  }
  for (int r = 0; r < kSequenceRows; ++r) {
    const int cy = y + r * kCellH;
    if (x < 40) {
      svg += "<text x=\"" + std::to_string(x - 3) + "\" y=\"" + std::to_string(cy + 10) + "\" text-anchor=\"end\">" +
             std::to_string(r + 1) + "</text>";
    }
    for (int c = 0; c < kChannels; ++c) {
      const int value = cells[r][c];
      const int cx = x + c * kCellW;
      const int shade = value < 0 ? 255 : 255 - value * 150 / 255;  // light to a deep amber
      const std::string fill = value < 0 ? "#ffffff"
                                         : "rgb(255," + std::to_string(200 + (shade - 105) * 55 / 150) + "," +
                                               std::to_string(shade - 105) + ")";
      const bool differs = unit.notRead.empty() && CellDiffers(unit, r, c);  // unread: nothing to compare
      svg += "<rect x=\"" + std::to_string(cx) + "\" y=\"" + std::to_string(cy) + "\" width=\"" +
             std::to_string(kCellW) + "\" height=\"" + std::to_string(kCellH) + "\" fill=\"" + fill + "\" stroke=\"" +
             (differs ? "#d00000\" stroke-width=\"2" : "#999\" stroke-width=\"0.5") + "\"/>";
      svg += "<text x=\"" + std::to_string(cx + kCellW / 2) + "\" y=\"" + std::to_string(cy + 10) +
             "\" text-anchor=\"middle\"" + (differs ? " fill=\"#d00000\" font-weight=\"bold\"" : "") + ">" +
             (value < 0 ? std::string("-") : std::to_string(value)) + "</text>";
    }
  }
  return svg;
}

std::string Chart(const ReportUnit& unit) {
  const std::string title = "Sequences 1-8 by channel: the plan, and what unit " + std::to_string(unit.address) +
                            " holds" + (unit.planned ? "" : " (no plan)");
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 250 150\" "
                    "role=\"img\"><title>" + Html(title) + "</title>";
  svg += Grid(unit, unit.plan, 14, 28, "Plan");
  svg += Grid(unit, unit.held, 136, 28, "Unit holds");
  return svg + "</svg>";
}

std::string VerdictClass(UnitVerdict verdict) {
  std::string name = std::string("v-") + VerdictWords(verdict);
  for (char& c : name) {
    if (c == ' ') c = '-';
  }
  return name;
}

}  // namespace

UnitVerdict VerdictOf(const ReportUnit& unit) {
  if (!unit.notRead.empty()) return UnitVerdict::kNotRead;
  if (!unit.planned) return unit.answered ? UnitVerdict::kNotInPlan : UnitVerdict::kNoAnswer;
  // A value the unit sent that is not the plan's is known to differ, whatever
  // became of the rest of its answer.
  for (int r = 0; r < kSequenceRows; ++r) {
    for (int c = 0; c < kChannels; ++c) {
      if (CellHeard(unit, r, c) && CellDiffers(unit, r, c)) return UnitVerdict::kDiffers;
    }
  }
  return unit.answered ? UnitVerdict::kAsPlanned : UnitVerdict::kNoAnswer;
}

std::vector<int> SequencesNotAnswered(const ReportUnit& unit) {
  if (!unit.notRead.empty() || unit.answered || !AnyCellHeard(unit)) return {};
  std::vector<int> sequences;
  for (int r = 0; r < kSequenceRows; ++r) {
    if (!CellHeard(unit, r, kChannels - 1)) sequences.push_back(r + 1);
  }
  return sequences;
}

std::string SequencesNotAnsweredWords(const ReportUnit& unit) {
  const std::vector<int> sequences = SequencesNotAnswered(unit);
  if (sequences.empty()) return "";
  return (sequences.size() == 1 ? "sequence " : "sequences ") + UnitListText(sequences) + " did not answer";
}

const char* VerdictWords(UnitVerdict verdict) {
  switch (verdict) {
    case UnitVerdict::kAsPlanned: return "as planned";
    case UnitVerdict::kDiffers: return "differs";
    case UnitVerdict::kNoAnswer: return "no answer";
    case UnitVerdict::kNotInPlan: return "not in the plan";
    case UnitVerdict::kNotRead: return "not read";
  }
  return "";
}

namespace {

// What the page and the JSON say of a line's adapter and link, row by row;
// only what is known.
std::vector<std::pair<std::string, std::string>> LineFacts(const ReportLine& line) {
  std::vector<std::pair<std::string, std::string>> facts = {{"Device", line.device}};
  if (!line.adapter.empty()) facts.emplace_back("Adapter", line.adapter);
  if (!line.usbId.empty()) facts.emplace_back("USB id", line.usbId);
  if (!line.serialNumber.empty()) facts.emplace_back("Serial number", line.serialNumber);
  if (line.answerWaitMs) {
    facts.emplace_back("Echo", !line.echoes ? "not known whether the line echoes"
                               : *line.echoes ? "the line echoes what is sent"
                                              : "the line does not echo");
    facts.emplace_back("Answer wait", std::to_string(*line.answerWaitMs) + " ms" +
                                          (line.answerWaitWhy.empty() ? "" : ": " + line.answerWaitWhy));
  }
  if (!line.notes.empty()) facts.emplace_back("Notes", line.notes);
  return facts;
}

std::string FactRows(const std::vector<std::pair<std::string, std::string>>& facts) {
  std::string rows = "<table class=\"facts\">\n";
  for (const auto& [name, value] : facts) {
    rows += "<tr><td>" + Html(name) + "</td><td>" +
            (value.empty() ? std::string("<span class=\"blank\"></span>") : Html(value)) + "</td></tr>\n";
  }
  return rows + "</table>\n";
}

// A line that needed second tries is shown as one, though its units came out right.
std::string ReadAgainNote(const ReportUnit& unit) {
  if (unit.readAgain == 0) return {};
  return "; " + std::to_string(unit.readAgain) + (unit.readAgain == 1 ? " row" : " rows") + " read again";
}

std::string UnitCard(const ReportLine& line, const ReportUnit& unit) {
  const UnitVerdict verdict = VerdictOf(unit);
  const std::string notAnswered = SequencesNotAnsweredWords(unit);
  return "<div class=\"unit\" data-line=\"" + Html(line.name) + "\" data-unit=\"" + std::to_string(unit.address) +
         "\" data-verdict=\"" + VerdictWords(verdict) + "\">\n<h3>" + Html(line.name) + " unit " +
         std::to_string(unit.address) +
         (unit.label.empty() ? "" : " \xE2\x80\x94 <span class=\"label\">" + Html(unit.label) + "</span>") +
         "</h3>\n<div class=\"verdict " + VerdictClass(verdict) + "\">" + VerdictWords(verdict) +
         (unit.notRead.empty() ? "" : ": " + Html(unit.notRead)) +
         (notAnswered.empty() ? "" : "; " + notAnswered) + ReadAgainNote(unit) + "</div>\n" + Chart(unit) + "\n</div>\n";
}

// The units of a site counted by verdict.
constexpr size_t kVerdicts = static_cast<size_t>(UnitVerdict::kNotRead) + 1;

struct VerdictCounts {
  size_t units = 0;
  size_t of[kVerdicts] = {};
  size_t operator[](UnitVerdict verdict) const { return of[static_cast<size_t>(verdict)]; }
};

VerdictCounts CountVerdicts(const SiteFacts& facts) {
  VerdictCounts counts;
  for (const ReportLine& line : facts.lines) {
    for (const ReportUnit& unit : line.units) {
      ++counts.units;
      ++counts.of[static_cast<size_t>(VerdictOf(unit))];
    }
  }
  return counts;
}

}  // namespace

std::string HandoverHtml(const SiteFacts& facts) {
  std::vector<std::string> differ, silent, extra, unread, faults;
  for (const ReportLine& line : facts.lines) {
    if (!line.fault.empty()) faults.push_back(Html(line.name) + ": " + Html(line.fault));
    for (const ReportUnit& unit : line.units) {
      const UnitVerdict verdict = VerdictOf(unit);
      if (verdict == UnitVerdict::kDiffers) differ.push_back(Html(UnitName(line, unit)));
      if (verdict == UnitVerdict::kNoAnswer) silent.push_back(Html(UnitName(line, unit)));
      if (verdict == UnitVerdict::kNotInPlan) extra.push_back(Html(UnitName(line, unit)));
      if (verdict == UnitVerdict::kNotRead) unread.push_back(Html(UnitName(line, unit) + ": " + unit.notRead));
    }
  }
  const size_t units = CountVerdicts(facts).units;
  const bool planHeld = differ.empty() && silent.empty() && unread.empty() && faults.empty();
  const char* tone = !planHeld ? "bad" : extra.empty() ? "good" : "mixed";
  std::string verdict = planHeld ? "all as planned" : unread.empty() ? "not all as planned" : "not all read, not all as planned";
  if (!extra.empty()) {
    verdict = (planHeld ? "the planned units as planned, " : verdict + ", ") + std::to_string(extra.size()) +
              (extra.size() == 1 ? " unit answers that is" : " units answer that are") + " not in the plan";
  }

  std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Handover: " +
                     Html(facts.site) + "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n";
  page += "<div class=\"page-foot\">" + Html(facts.site) + " \xE2\x80\x94 handover report, " + Html(facts.localTime) +
          (facts.company.empty() ? "" : " \xE2\x80\x94 " + Html(facts.company)) + "</div>\n";
  page += "<table class=\"sheet\"><tfoot><tr><td><div class=\"foot-space\"></div></td></tr></tfoot><tbody><tr><td>\n";
  page += "<h1>Handover report: " + Html(facts.site) + "</h1>\n";
  page += FactRows({{"Company", facts.company},
                    {"Technician", facts.technician},
                    {"Date", facts.localTime == facts.utcTime ? facts.utcTime : facts.localTime + ", " + facts.utcTime},
                    {"Read with", facts.version + " on " + facts.host + " by the system's user " + facts.user}});

  page += std::string("<div class=\"summary ") + tone + "\" id=\"summary\">\n";
  page += "<strong>" + std::to_string(units) + (units == 1 ? " unit" : " units") + " on " +
          std::to_string(facts.lines.size()) + (facts.lines.size() == 1 ? " line" : " lines") + ": " + verdict +
          ".</strong>\n";
  auto list = [&page](const char* heading, const std::vector<std::string>& names) {
    if (names.empty()) return;
    page += "<div>" + std::string(heading) + "<ul>";
    for (const std::string& name : names) page += "<li>" + name + "</li>";
    page += "</ul></div>\n";
  };
  list("Differ from the plan:", differ);
  list("Did not answer:", silent);
  list("Answer but are not in the plan:", extra);
  list("Not read, so nothing is known of them:", unread);
  list("Lines that could not be worked:", faults);
  page += "</div>\n";

  for (const ReportLine& line : facts.lines) {
    page += "<section class=\"line\">\n<div class=\"keep\">\n<h2>Line " + Html(line.name) + "</h2>\n" +
            FactRows(LineFacts(line));
    if (!line.fault.empty()) page += "<p class=\"fault\">" + Html(line.fault) + "</p>\n";
    // The heading keeps the first row of cards (two, side by side) with it.
    constexpr size_t kCardsInARow = 2;
    for (size_t u = 0; u < line.units.size(); ++u) {
      if (u == kCardsInARow) page += "</div>\n";
      page += UnitCard(line, line.units[u]);
    }
    if (line.units.size() <= kCardsInARow) page += "</div>\n";
    page += "</section>\n";
  }

  page += "<section class=\"sign keep\">\n<h2>Handed over</h2>\n<p>The installation above was handed over to the "
          "client as this report shows it.</p>\n<table>\n";
  for (const char* field : {"Client's name", "Signature", "Date"}) {
    page += "<tr><td>" + std::string(field) + "</td><td class=\"blank\"></td></tr>\n";
  }
  page += "</table>\n</section>\n";
  return page + "</td></tr></tbody></table>\n</body>\n</html>\n";
}

std::string HandoverJsonLines(const SiteFacts& facts, int exitStatus) {
  auto cells = [](const UnitCells& grid) {
    nlohmann::json rows = nlohmann::json::array();
    for (const auto& row : grid) {
      nlohmann::json values = nlohmann::json::array();
      for (const int value : row) values.push_back(value < 0 ? nlohmann::json() : nlohmann::json(value));
      rows.push_back(values);
    }
    return rows;
  };
  auto text = [](const std::string& value) { return value.empty() ? nlohmann::json() : nlohmann::json(value); };
  std::vector<nlohmann::json> objects;
  objects.push_back({{"event", "report"},
                     {"site", facts.site},
                     {"company", text(facts.company)},
                     {"technician", text(facts.technician)},
                     {"time", facts.localTime},
                     {"time_utc", facts.utcTime},
                     {"version", facts.version},
                     {"host", facts.host},
                     {"user", facts.user}});
  for (const ReportLine& line : facts.lines) {
    objects.push_back({{"event", "line"},
                       {"line", line.name},
                       {"device", line.device},
                       {"adapter", text(line.adapter)},
                       {"usb_id", text(line.usbId)},
                       {"serial_number", text(line.serialNumber)},
                       {"echo", line.echoes ? nlohmann::json(*line.echoes) : nlohmann::json()},
                       {"answer_wait_ms", line.answerWaitMs ? nlohmann::json(*line.answerWaitMs) : nlohmann::json()},
                       {"answer_wait_why", line.answerWaitWhy},
                       {"notes", text(line.notes)},
                       {"fault", text(line.fault)}});
    for (const ReportUnit& unit : line.units) {
      objects.push_back({{"event", "unit"},
                         {"line", line.name},
                         {"unit", unit.address},
                         {"label", unit.label},
                         {"planned", unit.planned},
                         {"answered", unit.answered},
                         {"verdict", VerdictWords(VerdictOf(unit))},
                         {"sequences_not_answered", SequencesNotAnswered(unit)},
                         {"not_read", text(unit.notRead)},
                         {"read_again", unit.readAgain},
                         {"plan", cells(unit.plan)},
                         {"held", cells(unit.held)}});
    }
  }
  const VerdictCounts counts = CountVerdicts(facts);
  nlohmann::json summary = {{"event", "summary"}, {"command", "report"}, {"lines", facts.lines.size()},
                            {"units", counts.units}};
  for (size_t v = 0; v < kVerdicts; ++v) {
    const auto verdict = static_cast<UnitVerdict>(v);
    std::string key = VerdictWords(verdict);
    for (char& c : key) c = c == ' ' ? '_' : c;
    summary[key] = counts[verdict];
  }
  summary["exit"] = exitStatus;
  objects.push_back(summary);
  std::string lines;
  for (const nlohmann::json& object : objects) {
    lines += object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + '\n';
  }
  return lines;
}
