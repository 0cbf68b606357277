// The operator's profile as dimlet-cli sees it: read only, never written,
// not even the keys that the window would add on its first run.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_failure.h"
#include "cli/row_file.h"
#include "settings/line_options.h"
#include "settings/profile_text.h"

// The profile as read once at the start of a run.
struct CliProfile {
  std::string path;
  std::string text;  // empty when there is no profile
  bool exists = false;
  std::string unreadable;  // why the window's own profile, there, could not be read ("Is a directory"); empty when read
};

// The profile file to read: `given` (--profile) or the one the window uses,
// ProfilePathFor("dimlet"), whatever this program is called.
// A profile named by --profile must be there and readable (a typo would
// otherwise send frames to another line): a usage failure when it is not.
// The window's own profile may be missing; it then reads as empty. When it
// is there but cannot be read it reads as empty too, with why in
// `unreadable`: only what depends on it (ComEntriesKnown, ProfileRows) fails.
CliChecked ReadCliProfile(const std::string& given, CliProfile* profile);

// The line to open, as the window would find it.
struct PortChoice {
  int comEntry = 0;     // 1..kComEntries when it came from a Com entry, 0 for a path or network line
  std::string path;     // the device path or network line
  std::string label;    // how a row file and results name it: "Com 2" or the path
  std::string name;     // how messages name it: "Com 2 (/dev/ttyUSB1)" or the path
  LineOptions options;  // the Com entry's line options; the defaults for a path
  std::vector<ReplacedValue> unread;  // the entry's options the profile holds in a form not understood
  bool Network() const;  // tcp:// or rfc2217://: not a path on this machine
};

// `port` as --port gives it ("Com N", a path or a network line; empty for the
// Com entry chosen in the profile's "Com Port Addr", which counts as Com 1
// when absent or outside the Com entries, as in the window). A Com entry is
// looked up in the profile's [Ports], as the window does.
PortChoice ChoosePort(const CliProfile& profile, const std::string& port);

// A usage failure naming the profile and why it could not be read when one
// of `lines` is a Com entry (named, or chosen in the profile): which device
// the profile maps it to is not known, and its default may be another line.
// A device path or a network line needs no profile.
CliChecked ComEntriesKnown(const CliProfile& profile, const std::vector<PortChoice>& lines);

// "Com 2 Echo \"yes\" in the profile is not understood: its default is used".
std::string UnreadWords(const ReplacedValue& value);

// The sequence table kept in the profile, as rows 1..8 without a unit, with
// the window's defaults for missing keys. False when the profile is missing,
// cannot be read, holds no sequence values at all, or holds a cell outside 0..255, with
// `problems` saying why: its defaults are nothing an operator tuned.
bool ProfileRows(const CliProfile& profile, std::vector<FileRow>* rows, std::vector<FileProblem>* problems);
