// The link's watch on Windows: no descriptor to wait on. A COM port that goes
// away, or a connection that ends, is found by the next transfer, which
// closes the link with the system's reason.
#include "device/link_watch.h"

LinkWatch::LinkWatch() = default;
LinkWatch::~LinkWatch() = default;

LinkWatch::Seen LinkWatch::Take() { return Seen::kNothing; }

void LinkWatch::AddDescriptor(int) {}
