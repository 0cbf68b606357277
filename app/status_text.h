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

// `followWords`, when not empty, stand for the link's state (a device that is
// unplugged or came back, as the window's follower tells).
// `replaced`: profile values that could not be read and were replaced by
// their defaults; named with what they held. `changedElsewhere`: keys that
// another program changed in the profile while this window changed them too.
// `outcome`: what the last command sent to which unit, or why not; a row of
// its own after a failed save.
StatusText DescribeLink(int port, const CSerialLink& link, const std::string& saveError,
                        const std::string& followWords = {}, const std::vector<ReplacedValue>& replaced = {},
                        const std::vector<std::string>& changedElsewhere = {}, const std::string& outcome = {});
