// The link's words.
#include "device/link_words.h"

namespace link_words {

std::string OpenWords() { return "open, " + std::to_string(kLineBaud) + " baud"; }

std::string FaultWords(CSerialLink::Fault fault) {
  switch (fault) {
    case CSerialLink::Fault::kNone:
      return "not open";
    case CSerialLink::Fault::kNotFound:
      return "no such device";
    case CSerialLink::Fault::kPermission:
      return "Permission denied — add your user to the dialout group";
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
  // A fault without words of its own is better told by the system's reason.
  const bool plain = link.LastFault() != CSerialLink::Fault::kOther || link.Reason().empty();
  return "not open: " + (plain ? FaultWords(link.LastFault()) : link.Reason());
}

}  // namespace link_words
