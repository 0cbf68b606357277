// Lines behind a serial device server, reached over the network.
#include "device/line_transport.h"

bool IsNetworkAddress(const std::string& address) {
  return address.starts_with("tcp://") || address.starts_with("rfc2217://");
}

std::unique_ptr<LineTransport> OpenNetworkLine(const std::string& address, int32_t, const LineOptions&,
                                               LineFailure* failure) {
  *failure = {CSerialLink::Fault::kOther, address + ": network lines are not available in this build", {}};
  return nullptr;
}
