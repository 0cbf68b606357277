// Network lines on Windows are not built yet: the Winsock half of
// network_transport.cpp and network_connect.cpp comes next. Until then an
// address is refused in words, never taken for a COM port.
#include "device/line_transport.h"

std::unique_ptr<LineTransport> OpenNetworkLine(const std::string& address, int32_t, const LineOptions&,
                                               LineFailure* failure) {
  *failure = {CSerialLink::Fault::kOther, "open " + address + ": network lines are not available on Windows yet", {}};
  return nullptr;
}

// The schemes network_connect.cpp opens, recognised here until it is built
// on Winsock too: an address is never opened as a COM port's name.
bool IsNetworkAddress(const std::string& address) {
  return address.starts_with("tcp://") || address.starts_with("rfc2217://");
}
