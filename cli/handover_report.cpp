// The handover report's page and JSON, from the facts gathered by the report
// command.
#include "cli/handover_report.h"

#include <string_view>

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

constexpr const char* kStyle = R"(
body { font: 11pt/1.4 "DejaVu Sans", "Liberation Sans", Arial, sans-serif; color: #111; margin: 2em;
       overflow-wrap: anywhere; }
h1 { font-size: 18pt; margin: 0 0 0.2em; }
h2 { font-size: 13pt; margin: 1.4em 0 0.4em; border-bottom: 1px solid #888; }
table.facts td { padding: 0 1.2em 0 0; vertical-align: top; }
table.facts td:first-child { color: #555; }
.summary { padding: 0.6em 0.9em; border: 2px solid; margin: 1em 0; }
.summary.good { border-color: #2a7a2a; background: #eef7ee; }
.summary.bad { border-color: #b02020; background: #fbeeee; }
.summary ul { margin: 0.3em 0 0; }
.unit { display: inline-block; vertical-align: top; width: 26em; margin: 0 1em 1em 0; padding: 0.5em;
        box-sizing: border-box; border: 1px solid #bbb; break-inside: avoid; page-break-inside: avoid; }
.unit svg { width: 100%; height: auto; }
.unit h3 { font-size: 11pt; margin: 0 0 0.3em; }
.verdict { font-weight: bold; }
.v-as-planned { color: #2a7a2a; } .v-differs { color: #b02020; } .v-no-answer { color: #b02020; }
.v-not-in-the-plan { color: #8a5a00; } .v-not-read { color: #b02020; }
.fault { color: #b02020; }
svg text { font: 8px "DejaVu Sans", Arial, sans-serif; }
@page { size: A4; margin: 14mm; }
@media print {
  body { margin: 0; font-size: 10pt; }
  .unit { width: 48.5%; margin: 0 1% 0.8em 0; }
  h2 { break-after: avoid; page-break-after: avoid; }
  .summary { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
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
  if (!unit.answered) return UnitVerdict::kNoAnswer;
  for (int r = 0; r < kSequenceRows; ++r) {
    for (int c = 0; c < kChannels; ++c) {
      if (CellDiffers(unit, r, c)) return UnitVerdict::kDiffers;
    }
  }
  return UnitVerdict::kAsPlanned;
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

std::string HandoverHtml(const SiteFacts& facts) {
  std::vector<std::string> differ, silent, extra, unread, faults;
  size_t units = 0;
  for (const ReportLine& line : facts.lines) {
    if (!line.fault.empty()) faults.push_back(Html(line.name) + ": " + Html(line.fault));
    for (const ReportUnit& unit : line.units) {
      ++units;
      const UnitVerdict verdict = VerdictOf(unit);
      if (verdict == UnitVerdict::kDiffers) differ.push_back(Html(UnitName(line, unit)));
      if (verdict == UnitVerdict::kNoAnswer) silent.push_back(Html(UnitName(line, unit)));
      if (verdict == UnitVerdict::kNotInPlan) extra.push_back(Html(UnitName(line, unit)));
      if (verdict == UnitVerdict::kNotRead) unread.push_back(Html(UnitName(line, unit) + ": " + unit.notRead));
    }
  }
  const bool good = differ.empty() && silent.empty() && unread.empty() && faults.empty();

  std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Handover: " +
                     Html(facts.site) + "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n";
  page += "<h1>Handover report: " + Html(facts.site) + "</h1>\n<table class=\"facts\">\n";
  const std::pair<const char*, const std::string*> about[] = {
      {"Date", &facts.time}, {"Operator", &facts.operatorName}, {"Host", &facts.host}, {"Tool", &facts.version}};
  for (const auto& [name, value] : about) page += "<tr><td>" + std::string(name) + "</td><td>" + Html(*value) + "</td></tr>\n";
  page += "</table>\n";

  page += std::string("<div class=\"summary ") + (good ? "good" : "bad") + "\" id=\"summary\">\n";
  page += "<strong>" + std::to_string(units) + (units == 1 ? " unit" : " units") + " on " +
          std::to_string(facts.lines.size()) + (facts.lines.size() == 1 ? " line" : " lines") + ": " +
          (good ? "all as planned" : unread.empty() ? "not all as planned" : "not all read, not all as planned") + (extra.empty() ? "" : ", with units not in the plan") +
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
    page += "<section class=\"line\">\n<h2>Line " + Html(line.name) + "</h2>\n<table class=\"facts\">\n";
    page += "<tr><td>Device</td><td>" + Html(line.device) + "</td></tr>\n";
    for (const auto& [name, value] : line.facts) {
      page += "<tr><td>" + Html(name) + "</td><td>" + Html(value) + "</td></tr>\n";
    }
    page += "</table>\n";
    if (!line.fault.empty()) page += "<p class=\"fault\">" + Html(line.fault) + "</p>\n";
    for (const ReportUnit& unit : line.units) {
      const UnitVerdict verdict = VerdictOf(unit);
      page += "<div class=\"unit\" data-line=\"" + Html(line.name) + "\" data-unit=\"" + std::to_string(unit.address) +
              "\" data-verdict=\"" + VerdictWords(verdict) + "\">\n<h3>Unit " + std::to_string(unit.address) +
              (unit.label.empty() ? "" : " \xE2\x80\x94 <span class=\"label\">" + Html(unit.label) + "</span>") +
              "</h3>\n<div class=\"verdict " + VerdictClass(verdict) + "\">" + VerdictWords(verdict) +
              (unit.notRead.empty() ? "" : ": " + Html(unit.notRead)) + "</div>\n";
      page += Chart(unit) + "\n</div>\n";
    }
    page += "</section>\n";
  }
  return page + "</body>\n</html>\n";
}

nlohmann::json HandoverJson(const SiteFacts& facts) {
  auto cells = [](const UnitCells& grid) {
    nlohmann::json rows = nlohmann::json::array();
    for (const auto& row : grid) {
      nlohmann::json values = nlohmann::json::array();
      for (const int value : row) values.push_back(value < 0 ? nlohmann::json() : nlohmann::json(value));
      rows.push_back(values);
    }
    return rows;
  };
  nlohmann::json lines = nlohmann::json::array();
  for (const ReportLine& line : facts.lines) {
    nlohmann::json units = nlohmann::json::array();
    for (const ReportUnit& unit : line.units) {
      units.push_back({{"line", line.name},
                       {"unit", unit.address},
                       {"label", unit.label},
                       {"planned", unit.planned},
                       {"answered", unit.answered},
                       {"verdict", VerdictWords(VerdictOf(unit))},
                       {"not_read", unit.notRead.empty() ? nlohmann::json() : nlohmann::json(unit.notRead)},
                       {"plan", cells(unit.plan)},
                       {"held", cells(unit.held)}});
    }
    nlohmann::json about = nlohmann::json::object();
    for (const auto& [name, value] : line.facts) about[name] = value;
    lines.push_back({{"line", line.name},
                     {"device", line.device},
                     {"adapter", about},
                     {"fault", line.fault.empty() ? nlohmann::json() : nlohmann::json(line.fault)},
                     {"units", units}});
  }
  return {{"event", "report"},   {"site", facts.site}, {"time", facts.time}, {"version", facts.version},
          {"host", facts.host},  {"operator", facts.operatorName}, {"lines", lines}};
}
