// Adapter tuning on Windows: the USB adapter's latency timer is a setting of
// its driver that Device Manager shows (the port's Properties, Port Settings,
// Advanced..., Latency Timer); Dimlet reads and writes none of it, and no
// group grants access to a COM port.
#include "device/adapter_tuning.h"

bool RequestLowLatency(int) { return false; }

std::string TtyNameOf(const std::string& devicePath) { return devicePath; }

int AdapterLatencyTimerMs(const std::string&) { return -1; }

std::string GroupToJoin(const std::string&) { return {}; }
