// The words for the state of a link and for each of its faults, written once
// as plain text for every program that shows them: the window's status line
// and dimlet-cli's messages say the same thing in the same words.
#pragma once

#include <string>

#include "device/serial_link.h"

namespace link_words {

// What an open link is: "open, 9600 baud".
std::string OpenWords();

// Plain words for why a link is not open ("no such device", "in use by
// another program", "connection lost", the permission advice, ...).
std::string FaultWords(CSerialLink::Fault fault);

// The state of `link` in one line: OpenWords() when it is open, otherwise
// "not open: " and the fault's words, or the system's reason when the fault
// has no words of its own.
std::string StateWords(const CSerialLink& link);

}  // namespace link_words
