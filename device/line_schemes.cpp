// The kinds of line a name can stand for, in one table: a name opens the
// transport of the row of its scheme. A name without one is a serial port on
// this machine: a tty on Linux, a COM port on Windows (the build picks the
// file behind OpenSerialLine). A new kind of line is one more row.
#include <string>
#include <string_view>
#include <vector>

#include "device/line_transport.h"
#include "device/network_address.h"
#include "settings/port_map.h"

namespace {

struct LineKind {
  std::string_view scheme;  // as written before "://"; empty for a device path
  bool network;             // reached over the network: no device on this machine to watch or list
  OpenedLine (*open)(const std::string& name, int32_t baud, const LineOptions& options);
};

constexpr LineKind kLineKinds[] = {
    {"", false, OpenSerialLine},         // a tty, or a COM port
    {"tcp", true, OpenNetworkLine},      // raw TCP to a serial device server
    {"rfc2217", true, OpenNetworkLine},  // Telnet with COM-port control
};

// The row of a scheme; nullptr for a scheme no row has.
const LineKind* KindOf(std::string_view scheme) {
  for (const LineKind& kind : kLineKinds) {
    if (kind.scheme == scheme) return &kind;
  }
  return nullptr;
}

// "ssh:// is no kind of line here: write a device path, tcp://HOST:PORT or
// rfc2217://HOST:PORT", with the forms the table knows.
std::string UnknownSchemeWords(std::string_view scheme) {
  std::vector<std::string> forms;
  for (const LineKind& kind : kLineKinds) {
    if (!kind.scheme.empty()) forms.push_back(std::string(kind.scheme) + "://HOST:PORT");
  }
  std::string words = std::string(scheme) + ":// is no kind of line here: write a device path";
  for (size_t i = 0; i < forms.size(); ++i) words += (i + 1 < forms.size() ? ", " : " or ") + forms[i];
  return words;
}

}  // namespace

bool IsNetworkAddress(const std::string& name) {
  const LineKind* kind = KindOf(LineScheme(name));
  return kind && kind->network;
}

std::string LineNameProblem(const std::string& name) {
  const std::string_view scheme = LineScheme(name);
  const LineKind* kind = KindOf(scheme);
  if (!kind) return UnknownSchemeWords(scheme);
  return kind->network ? NetworkAddressProblem(name) : std::string();
}

OpenedLine OpenLine(const std::string& name, int32_t baud, const LineOptions& options) {
  const std::string_view scheme = LineScheme(name);
  if (const LineKind* kind = KindOf(scheme)) return kind->open(name, baud, options);
  // The name itself is shown where the line is (the status line, a
  // command's message): the reason says only what is wrong with it.
  return Failed(CSerialLink::Fault::kOther, UnknownSchemeWords(scheme));
}
