// The echo setting as the profile and the command line spell it.
#include "settings/line_options.h"

#include "settings/unit_list.h"

namespace {

struct EchoName {
  EchoMode mode;
  std::string_view text;
};
constexpr EchoName kEchoNames[] = {{EchoMode::kAuto, "auto"}, {EchoMode::kOn, "on"}, {EchoMode::kOff, "off"}};

}  // namespace

std::string_view EchoModeText(EchoMode mode) {
  for (const EchoName& name : kEchoNames) {
    if (name.mode == mode) return name.text;
  }
  return "auto";
}

std::optional<EchoMode> EchoModeFromText(std::string_view text) {
  for (const EchoName& name : kEchoNames) {
    if (name.text == text) return name.mode;
  }
  return std::nullopt;
}

std::string AnswerWaitText(int answerWaitMs) {
  return answerWaitMs == kAnswerWaitAuto ? "auto" : std::to_string(answerWaitMs);
}

std::optional<int> AnswerWaitFromText(std::string_view text) {
  // The protocol's own 5 ms, the old default.
  constexpr int kOldDefault = 5;
  if (text == "auto") return kAnswerWaitAuto;
  int ms = 0;
  if (!ParseNumberIn(text, 0, kMaxAnswerWaitMs, &ms)) return std::nullopt;
  return ms == kOldDefault ? kAnswerWaitAuto : ms;
}
