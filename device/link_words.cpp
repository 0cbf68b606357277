// The link's words.
#include "device/link_words.h"

#include "device/network_address.h"

namespace link_words {

namespace {

// A network line's reasons read "<what> <where>: <cause>"; the cause is what
// the operator needs, in lower case inside a sentence.
std::string Cause(const std::string& reason) {
  const size_t colon = reason.find(": ");
  std::string cause = colon == std::string::npos ? reason : reason.substr(colon + 2);
  if (cause.size() > 1 && cause[0] >= 'A' && cause[0] <= 'Z' && cause[1] >= 'a' && cause[1] <= 'z') {
    cause[0] = static_cast<char>(cause[0] - 'A' + 'a');
  }
  return cause;
}

// Words for a network line that is not open; empty where a tty's words fit.
std::string NetworkFaultWords(const CSerialLink& link) {
  if (!IsNetworkAddress(link.DevicePath()) || link.Reason().empty()) return {};
  switch (link.LastFault()) {
    case CSerialLink::Fault::kNotFound:
      return "network line away: " + Cause(link.Reason());
    case CSerialLink::Fault::kLost:
      return "network line lost: " + Cause(link.Reason());
    case CSerialLink::Fault::kSetup:
    case CSerialLink::Fault::kInUse:
      return Cause(link.Reason());
    case CSerialLink::Fault::kNone:
    case CSerialLink::Fault::kPermission:
    case CSerialLink::Fault::kNotSerial:
    case CSerialLink::Fault::kOther:
      return {};
  }
  return {};
}

}  // namespace

std::string OpenWords() { return "open, " + std::to_string(kLineBaud) + " baud"; }

std::string FaultWords(CSerialLink::Fault fault) {
  switch (fault) {
    case CSerialLink::Fault::kNone:
      return "not open";
    case CSerialLink::Fault::kNotFound:
      return "no such device";
    case CSerialLink::Fault::kPermission:
      return "Permission denied";
    case CSerialLink::Fault::kInUse:
      return "in use by another program";
    case CSerialLink::Fault::kNotSerial:
      return "not a serial device";
    case CSerialLink::Fault::kSetup:
      return "line settings not accepted";
    case CSerialLink::Fault::kLost:
      return "connection lost";
    case CSerialLink::Fault::kOther:
      break;
  }
  return "cannot open";
}

std::string StateWords(const CSerialLink& link) {
  if (link.IsPortOpen()) return OpenWords();
  if (const std::string network = NetworkFaultWords(link); !network.empty()) return "not open: " + network;
  // A fault without words of its own is better told by the system's reason.
  const bool plain = link.LastFault() != CSerialLink::Fault::kOther || link.Reason().empty();
  std::string words = plain ? FaultWords(link.LastFault()) : link.Reason();
  if (link.LastFault() == CSerialLink::Fault::kPermission && !link.GroupToJoin().empty()) {
    words += " — add your user to the " + link.GroupToJoin() + " group";
  }
  return "not open: " + words;
}

std::string UnpluggedWords() { return "unplugged, waiting for it"; }

std::string ReopenedWords() { return "device back: " + OpenWords(); }

std::string AwayWords(const CSerialLink& link) {
  if (!IsNetworkAddress(link.DevicePath())) return UnpluggedWords();
  const std::string network = NetworkFaultWords(link);
  return (network.empty() ? std::string("network line away") : network) + "; reconnecting";
}

std::string BackWords(const CSerialLink& link) {
  return IsNetworkAddress(link.DevicePath()) ? "network line back: " + OpenWords() : ReopenedWords();
}

std::string FrameWords(CSerialLink::FrameOutcome outcome, const CSerialLink::Lateness& lateness) {
  const std::string late = std::to_string(lateness.lateMs) + " ms late";
  const std::string fix = lateness.answerWaitMs > 0 ? ": set the answer wait to " + std::to_string(lateness.answerWaitMs)
                                                    : ": later than any answer wait";
  switch (outcome) {
    case CSerialLink::FrameOutcome::kSent:
      return {};
    case CSerialLink::FrameOutcome::kNotOpen:
      return "not sent: the port is not open";
    case CSerialLink::FrameOutcome::kHeld:
      return "the frame did not leave the port within 1 s — the line is held";
    case CSerialLink::FrameOutcome::kEchoWrong:
      return "the line did not return what was sent: another sender, or a broken bus";
    case CSerialLink::FrameOutcome::kEchoMissing:
      return "the line did not return what was sent: its echo stopped, or the echo setting is wrong";
    case CSerialLink::FrameOutcome::kNoEcho:
      return "the line returned nothing of what was sent: it does not echo, so the echo setting is wrong (set it to "
             "auto or off)";
    case CSerialLink::FrameOutcome::kEchoUnexpected:
      return "the line returns what is sent: set its echo to on";
    case CSerialLink::FrameOutcome::kEchoLate:
      return "the line returns what is sent " + late + fix;
    case CSerialLink::FrameOutcome::kStrayBytes:
      return "bytes the units did not send in answer: another sender, a line that echoes late, or noise";
    case CSerialLink::FrameOutcome::kAnswerLate:
      return "answered " + late + fix;
    case CSerialLink::FrameOutcome::kLost:
      return "the line went away while the frame was sent";
  }
  return "not sent";
}

std::string FrameWords(const CSerialLink& link) {
  // Set to echo, a line was never found to: the units' answers to a read
  // or a scan, come where its echo was due, are the likelier cause than
  // another sender.
  if (link.LastFrame() == CSerialLink::FrameOutcome::kEchoWrong && link.Options().echo == EchoMode::kOn) {
    return "the line did not return what was sent: if it does not echo, the echo setting is wrong (set it to auto or "
           "off); else another sender, or a broken bus";
  }
  // Under an automatic wait a late frame raised it: the words say so instead
  // of the wait to set.
  if (const std::optional<CSerialLink::WaitRaise>& raised = link.LastRecord().raised) {
    const std::string late = std::to_string(raised->lateMs) + " ms late";
    const std::string to = ": answer wait raised to " + std::to_string(raised->toMs) + " ms";
    if (link.LastFrame() == CSerialLink::FrameOutcome::kAnswerLate) return "answered " + late + to;
    if (link.LastFrame() == CSerialLink::FrameOutcome::kEchoLate) return "the line returns what is sent " + late + to;
  }
  return FrameWords(link.LastFrame(), link.LastLateness());
}

std::string LineWords(const CSerialLink& link) {
  if (!link.IsPortOpen()) return {};
  std::string words = link.Echoes().value_or(false) ? "echoes" : "";
  if (!link.LineNotes().empty()) words += (words.empty() ? "" : "; ") + link.LineNotes();
  // The answer wait in force, and why, unless it is the protocol's own.
  const std::string why = link.AnswerWaitWhy();
  if (!why.empty()) {
    words += (words.empty() ? "" : "; ") + ("answer wait " + std::to_string(link.AnswerWaitMs()) + " ms: " + why);
  }
  return words;
}

LatencyWarning LatencyWords(int timerMs, const std::string& ttyName, int answerWaitMs) {
  if (timerMs <= LatencyLimitMs(answerWaitMs)) return {};
  const std::string ms = std::to_string(timerMs);
  const std::string tty = ttyName.empty() ? "ttyUSB0" : ttyName;
  const std::string wait = std::to_string(AnswerWaitForLatency(timerMs));
  return {"adapter latency " + ms + " ms: uploads will fail — or set the answer wait to " + wait + " ms",
          "The adapter passes received bytes on only every " + ms + " ms; a unit's answer is waited for " +
              std::to_string(answerWaitMs) +
              " ms. Install Dimlet's udev rule (60-dimlet-adapters.rules, part of the package) and plug the "
              "adapter in again, or until the next plug-in: echo 1 | sudo tee /sys/class/tty/" + tty +
              "/device/latency_timer. Or give this Com entry an answer wait of " + wait +
              " ms in Ports… (each upload then takes longer)."};
}

}  // namespace link_words
