// The profile keys of the settings record, defined once: their names, the
// field each one holds, whether Load reads it, and its default.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/led_settings.h"

struct ProfileKey {
  std::string name;
  int32_t LedSettings::*field;  // a scalar field, or nullptr for a table cell
  int cell;                     // index into SequenceTable::cells when field is nullptr
  bool loaded;                  // false: saved only ("Num Of Channel")
  int32_t defaultValue;         // used by Load when the key is missing or unreadable
};

// The 35 keys in the order Save writes them: "Com Port Addr", "Num Of Channel",
// "Max SQ", then "SEQ r\CH c" for r = 0..7 and, within each r, c = 0..3.
// Load reads the loaded ones in this same order.
const std::vector<ProfileKey>& ProfileKeys();

// The store every load and save of this program uses: section "Settings\LED".
inline constexpr const char* kStoreName = "LED";

// Section "Settings\<name>" of the store `name` (kStoreName in this program).
std::string ProfileSection(const std::string& name);

int32_t KeyValue(const LedSettings& settings, const ProfileKey& key);
void SetKeyValue(LedSettings& settings, const ProfileKey& key, int32_t value);
