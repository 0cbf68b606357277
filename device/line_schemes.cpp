// The kinds of line a name can stand for, in one table: a name with a scheme
// opens the transport of its row; a name without one is a serial port on this
// machine (a tty on Linux, a COM port on Windows: the build picks the file
// behind OpenSerialLine). A new kind of line is one more row.
#include <iterator>
#include <string_view>

#include "device/line_transport.h"
#include "device/network_address.h"
#include "settings/port_map.h"

namespace {

struct LineKind {
  std::string_view scheme;  // as written before "://"
  bool network;             // reached over the network: no device on this machine to watch or list
  OpenedLine (*open)(const std::string& name, int32_t baud, const LineOptions& options);
};

constexpr LineKind kLineKinds[] = {
    {"tcp", true, OpenNetworkLine},      // raw TCP to a serial device server
    {"rfc2217", true, OpenNetworkLine},  // Telnet with COM-port control
};

// The row of `name`'s scheme; nullptr for a scheme no row has.
const LineKind* KindOf(std::string_view scheme) {
  for (const LineKind& kind : kLineKinds) {
    if (kind.scheme == scheme) return &kind;
  }
  return nullptr;
}

std::string UnknownSchemeWords(std::string_view scheme) {
  std::string words = std::string(scheme) + ":// is no kind of line here: write a device path";
  for (size_t i = 0; i < std::size(kLineKinds); ++i) {
    words += (i + 1 < std::size(kLineKinds) ? ", " : " or ") + std::string(kLineKinds[i].scheme) + "://HOST:PORT";
  }
  return words;
}

}  // namespace

bool IsNetworkAddress(const std::string& name) {
  const LineKind* kind = KindOf(LineScheme(name));
  return kind && kind->network;
}

std::string LineNameProblem(const std::string& name) {
  const std::string_view scheme = LineScheme(name);
  if (scheme.empty()) return {};
  if (!KindOf(scheme)) return UnknownSchemeWords(scheme);
  return IsNetworkAddress(name) ? NetworkAddressProblem(name) : std::string();
}

OpenedLine OpenLine(const std::string& name, int32_t baud, const LineOptions& options) {
  const std::string_view scheme = LineScheme(name);
  if (scheme.empty()) return OpenSerialLine(name, baud, options);
  if (const LineKind* kind = KindOf(scheme)) return kind->open(name, baud, options);
  // The name itself is shown where the line is (the status line, a
  // command's message): the reason says only what is wrong with it.
  return Failed(CSerialLink::Fault::kOther, UnknownSchemeWords(scheme));
}
