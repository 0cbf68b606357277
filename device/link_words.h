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
// another program", "connection lost", "Permission denied", ...).
std::string FaultWords(CSerialLink::Fault fault);

// The state of `link` in one line: OpenWords() when it is open, otherwise
// "not open: " and the fault's words, or the system's reason when the fault
// has no words of its own. A refused permission names the group to join,
// where joining one would help.
std::string StateWords(const CSerialLink& link);

// A link that lost its device and waits for it to come back.
std::string UnpluggedWords();

// A link that opened again by itself when its device came back.
std::string ReopenedWords();

// The same two for `link`: a network line is not unplugged but lost, with
// its cause ("network line lost: connection reset by peer; reconnecting"), and
// comes back as a network line.
std::string AwayWords(const CSerialLink& link);
std::string BackWords(const CSerialLink& link);

// Why a command's frame did not go out whole, in the operator's words
// ("the frame did not leave the port within 1 s — the line is held"); empty
// for a frame that was sent. A late echo or answer names the answer wait
// that would take it, from `lateness`.
std::string FrameWords(CSerialLink::FrameOutcome outcome, const CSerialLink::Lateness& lateness = {});
// The same for the last frame of `link`; on a line set to echo, a wrong echo
// names the echo setting too.
std::string FrameWords(const CSerialLink& link);

// What the status line says of how the open line behaves and was set up:
// "echoes" once the line is known to return what it sends, and the line's
// notes (RS-485 mode, a network line's round trip). Empty when nothing.
std::string LineWords(const CSerialLink& link);

// A USB adapter whose latency timer of `timerMs` holds answers back past the
// answer wait of `answerWaitMs`, on tty `ttyName`: a short line for the
// status line, and the fix in full for its tool tip, naming the answer wait
// that would work. Both empty when the timer is within bounds or unknown (-1).
struct LatencyWarning {
  std::string line;
  std::string fix;
};
LatencyWarning LatencyWords(int timerMs, const std::string& ttyName, int answerWaitMs = unit_protocol::kAnswerWindowMs);

}  // namespace link_words
