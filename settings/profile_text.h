// What Load and Save do to the profile's text, without the file: the one
// reading and writing of the settings keys that CProfileStore wraps.
#pragma once

#include <string>
#include <string_view>

#include "settings/led_settings.h"

// Fills `settings` from section "Settings\<name>" of `text` (a key's default
// when it is missing or not a 32-bit integer) and returns the text with every
// loaded key written back as it was read; the channel-count word is left alone.
std::string LoadFromProfileText(const std::string& name, std::string_view text, LedSettings& settings);

// Returns `text` with the record's 35 keys set in section "Settings\<name>",
// everything else in it kept in place.
std::string SaveToProfileText(const std::string& name, std::string_view text, const LedSettings& settings);
