// The operator's profile as dimlet-cli sees it: read only, never written,
// not even the keys that the window would add on its first run.
#pragma once

#include <string>
#include <vector>

#include "cli/row_file.h"

// The profile file to read: `given` (--profile) or the one the window uses,
// ${XDG_CONFIG_HOME:-~/.config}/dimlet.ini, whatever this program is called.
std::string CliProfilePath(const std::string& given);

// The line to open, as the window would find it.
struct PortChoice {
  int comEntry = 0;   // 1..4 when it came from a Com entry, 0 for a device path
  std::string path;   // the device path
  std::string name;   // how to name it in messages: "Com 2 (/dev/ttyUSB1)" or the path
};

// `port` as --port gives it ("Com N" or a path; empty for the Com entry chosen
// in the profile's [Settings\LED] "Com Port Addr", 1 when absent). A Com entry
// is looked up in the profile's [Ports], as the window does.
PortChoice ChoosePort(const std::string& profilePath, const std::string& port);

// The sequence table kept in the profile, as rows 1..8 without a unit, with
// the window's defaults for missing keys. False when the profile cannot be
// read or holds a cell outside 0..255, with `problems` saying why.
bool ProfileRows(const std::string& profilePath, std::vector<FileRow>* rows, std::vector<FileProblem>* problems);
