// The status line's words: which Com entry and device the commands go to,
// whether it is open and, if not, why, and how the line behaves (echo, its
// notes); what the last command did; and a failed save of the settings.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "device/serial_link.h"
#include "settings/profile_store.h"

struct StatusText {
  QString text;    // what the line shows
  QString detail;  // the system's full reasons, for the tool tip
};

// What the window knows besides the link, for the status line.
struct StatusFacts {
  int port = 1;           // the Com entry the link is on
  std::string saveError;  // why the last save of the settings failed; empty when it did not
  // Why the profile could not be read at start-up, its defaults used in its
  // place (the device map too); empty when it was read.
  std::string profileUnread;
  // When not empty, these stand for the link's state (a device that is
  // unplugged or came back, as the window's follower tells).
  std::string followWords;
  // Profile values that could not be read and were replaced by their
  // defaults; named with what they held.
  std::vector<ReplacedValue> unreadable;
  // Keys that another program changed in the profile while this window
  // changed them too.
  std::vector<std::string> changedElsewhere;
  // Cells this window read from a unit that another program changed in the
  // profile afterwards: the profile's value was kept and is shown.
  std::vector<std::string> keptElsewhere;
  // What the last command sent to which unit, or why not; a row of its own
  // after a failed save.
  std::string outcome;
  // Why the journal of unit commands could not be written; empty when it was.
  std::string journalError;
};

StatusText DescribeLink(const CSerialLink& link, const StatusFacts& facts);
