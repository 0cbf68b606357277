// The echo setting as the profile and the command line spell it.
#include "settings/line_options.h"

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
