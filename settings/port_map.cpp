// The device map: the [Ports] section of the profile names the device path of
// each "Com n" entry and the options of its line.
#include "settings/port_map.h"

#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "settings/unit_list.h"
#include "settings/whole_file.h"

namespace {

bool InRange(int port) { return port >= 1 && port <= kComEntries; }

// Com `port`'s line options; a value that is not understood is named in
// *unread and its default used, as for the sequences.
LineOptions ReadOptions(const CIniDocument& profile, int port, std::vector<ReplacedValue>* unread) {
  LineOptions options;
  const auto note = [unread](const std::string& key, std::string_view text) {
    unread->push_back({key, std::string(text.substr(0, ReplacedValue::kShownBytes))});
  };
  if (std::optional<std::string_view> echo = profile.Value("Ports", EchoKey(port))) {
    if (std::optional<EchoMode> mode = EchoModeFromText(*echo)) {
      options.echo = *mode;
    } else {
      note(EchoKey(port), *echo);
    }
  }
  if (std::optional<std::string_view> wait = profile.Value("Ports", AnswerWaitKey(port))) {
    if (const std::optional<int> ms = AnswerWaitFromText(*wait)) {
      options.answerWaitMs = *ms;
    } else {
      note(AnswerWaitKey(port), *wait);
    }
  }
  if (std::optional<std::string_view> rs485 = profile.Value("Ports", Rs485Key(port))) {
    if (*rs485 == "on" || *rs485 == "off") {
      options.rs485 = *rs485 == "on";
    } else {
      note(Rs485Key(port), *rs485);
    }
  }
  return options;
}

}  // namespace

std::string ComEntryName(int port) { return "Com " + std::to_string(port); }

std::string_view LineScheme(std::string_view name) {
  const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  const size_t end = name.find("://");
  if (end == std::string_view::npos || end == 0 || !letter(name[0])) return {};
  for (char c : name.substr(1, end - 1)) {
    if (!letter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return {};
  }
  return name.substr(0, end);
}

std::string EchoKey(int port) { return ComEntryName(port) + " Echo"; }
std::string AnswerWaitKey(int port) { return ComEntryName(port) + " Answer Wait"; }
std::string Rs485Key(int port) { return ComEntryName(port) + " RS-485"; }

CPortMap::CPortMap(const CIniDocument& profile) {
  for (int port = 1; port <= kPorts; ++port) {
    const auto index = static_cast<size_t>(port - 1);
    std::optional<std::string_view> device = profile.Value("Ports", ComEntryName(port));
    if (device) m_paths[index] = std::string(*device);
    m_options[index] = ReadOptions(profile, port, &m_unread[index]);
  }
}

std::string CPortMap::DevicePath(int port) const {
  if (InRange(port) && !m_paths[static_cast<size_t>(port - 1)].empty()) return m_paths[static_cast<size_t>(port - 1)];
  return DefaultDevicePath(port);
}

PortEntry CPortMap::Entry(int port) const {
  if (!InRange(port)) return {DevicePath(port), {}, {}};
  const auto index = static_cast<size_t>(port - 1);
  return {DevicePath(port), m_options[index], m_unread[index]};
}

std::string PortDevicePath(const std::string& profilePath, int port) {
  std::string text;
  std::string error;
  // Any failure to read falls back to the usual USB adapter name; the port's
  // own open reports a wrong device to the operator.
  if (!ReadWholeFile(profilePath, &text, nullptr, &error)) return CPortMap().DevicePath(port);
  return CPortMap(CIniDocument(std::move(text))).DevicePath(port);
}

bool StoredDevicePath(const std::string& typed, std::string* stored, std::string* reason) {
  if (!LineScheme(typed).empty() || typed.empty() || IsWholeDeviceName(typed)) {
    *stored = typed;
    return true;
  }
  // "~/" means the home folder to anyone used to a shell; a folder named "~"
  // in the current one is far rarer.
  const char* home = std::getenv("HOME");
  if ((typed == "~" || typed.rfind("~/", 0) == 0) && home && home[0] == '/') {
    std::string folder = home;
    while (!folder.empty() && folder.back() == '/') folder.pop_back();  // "/" too: its "/" comes from the "~/"
    *stored = folder + typed.substr(1);
    if (stored->empty()) *stored = "/";
    return true;
  }
  std::error_code failed;
  const std::filesystem::path absolute = std::filesystem::absolute(typed, failed);
  if (failed) {
    *reason = "finding the current folder for \"" + typed + "\": " + failed.message();
    return false;
  }
  // "." parts go; ".." stays, since a link before it may lead elsewhere than
  // the folder written before it.
  std::filesystem::path tidy;
  for (const std::filesystem::path& part : absolute) {
    if (part != "." && !part.empty()) tidy /= part;
  }
  *stored = tidy.string();
  return true;
}
