// What is at a device path, as a value two looks can compare: a different one
// means the thing there was replaced, even without a moment of absence. On
// Linux the file's device, inode, special device and type
// (device_identity.cpp); on Windows the device a COM name points to
// (device_identity_windows.cpp).
#pragma once

#include <optional>
#include <string>

// Nothing when nothing is at `path`.
std::optional<std::string> DeviceIdentityAt(const std::string& path);
