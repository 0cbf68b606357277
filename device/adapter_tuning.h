// Making a USB serial adapter pass answer bytes on in time. Many adapters hold
// received bytes back until a timer runs out (FTDI: 16 ms unless told
// otherwise), longer than a unit's answer is waited for.
#pragma once

#include <string>

// Asks the tty's driver for low-latency mode (ASYNC_LOW_LATENCY), which an
// ordinary user may do; the FTDI driver then sets its latency timer to 1 ms.
// False when the driver refuses or has no such setting (a pty); nothing is
// changed then.
bool RequestLowLatency(int fd);

// The tty name behind a device path, symbolic links followed:
// "/dev/serial/by-id/usb-FTDI_...-port0" gives "ttyUSB0". Empty when the path
// does not resolve.
std::string TtyNameOf(const std::string& devicePath);

// The latency timer, in ms, of the adapter behind tty `ttyName` ("ttyUSB0"):
// the latency_timer attribute of its sysfs device or of the usb-serial device
// above it. -1 when there is none or it cannot be read.
int AdapterLatencyTimerMs(const std::string& ttyName);

// The group to join for read and write access to the device at `path`: its
// group, when that group may read and write it, the process is not in it and
// does not own the device. Empty when joining a group would not help (or the
// device cannot be looked at); the plain reason is all there is to say then.
std::string GroupToJoin(const std::string& path);
