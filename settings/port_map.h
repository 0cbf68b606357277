// The device map: which line each "Com n" entry of the window stands for, and
// how that line is driven, as read from a profile's text (the profile store
// keeps changes to it: SetPortDevicePath, SetPortLineOptions). Kept in the profile's [Ports] section: "Com n" holds
// the device path, "Com n Echo" (auto, on, off), "Com n Answer Wait" (ms) and
// "Com n RS-485" (on, off) its line options.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "settings/ini_document.h"
#include "settings/line_options.h"
#include "settings/profile_text.h"

// The number of Com entries: "Com 1" to "Com 4".
inline constexpr int kComEntries = 4;

// The device Com `port` stands for when the map names none: "/dev/ttyUSB<port-1>"
// on Linux (default_device.cpp), "COM<port>" on Windows.
std::string DefaultDevicePath(int port);

// Whether `name` names a device whatever the current folder: a path from "/"
// on Linux; on Windows a COM port ("COM5", any case), a "\\.\" device, or a
// path from a drive or the drive's root.
bool IsWholeDeviceName(std::string_view name);
// What such a name looks like, for the operator: "a device path must start
// with /" on Linux.
std::string WholeDeviceNameRule();

// "Com <port>", the entry's name in the window, the profile and messages.
std::string ComEntryName(int port);

// The scheme a line's name begins with when it is an address rather than a
// device path: "tcp" of "tcp://host:3001" (a letter, then letters, digits,
// "+", "-" or ".", before "://"); empty for a path. Such a name is kept as
// written; which schemes name a line the link says (device/line_schemes.h).
std::string_view LineScheme(std::string_view name);

// One Com entry: its device (a path, or a network address) and line options.
struct PortEntry {
  std::string path;
  LineOptions options;
  std::vector<ReplacedValue> unread;  // option values not understood: their defaults are in `options`
};

// The map as one reading of the profile left it; looking a port up touches no file.
class CPortMap {
 public:
  static constexpr int kPorts = kComEntries;

  CPortMap() = default;  // nothing set: every port has its usual name
  explicit CPortMap(const CIniDocument& profile);

  // The path of Com `port`; DefaultDevicePath(port) when its key is missing
  // or empty, or the port is outside 1..4.
  std::string DevicePath(int port) const;
  // The path and the line options of Com `port`; options that are missing or
  // not understood read as their defaults, and the latter are named.
  PortEntry Entry(int port) const;

 private:
  std::array<std::string, kPorts> m_paths;
  std::array<LineOptions, kPorts> m_options;
  std::array<std::vector<ReplacedValue>, kPorts> m_unread;
};

// The profile keys of Com `port`'s line options, in the [Ports] section.
std::string EchoKey(int port);
std::string AnswerWaitKey(int port);
std::string Rs485Key(int port);

// Path of Com `port` from the profile at `profilePath`, read afresh; the
// usual name also when the file cannot be read.
std::string PortDevicePath(const std::string& profilePath, int port);

// What a Com entry stores for a device the operator typed: an address with a
// scheme (LineScheme) or an absolute path as typed; a leading "~/" as the home
// folder ($HOME); a relative path made
// absolute against the current folder (its "." parts left out), so that
// every program finds the same device wherever it was started. False with
// *reason set when the current folder cannot be known.
bool StoredDevicePath(const std::string& typed, std::string* stored, std::string* reason);
