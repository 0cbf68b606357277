// The profile keys of the settings record, defined once.
#include "settings/profile_keys.h"

namespace {

std::vector<ProfileKey> MakeProfileKeys() {
  std::vector<ProfileKey> keys = {
      {"Com Port Addr", &LedSettings::comPort, 0, true, 1},
      {"Num Of Channel", &LedSettings::numOfChannel, 0, false, 0},
      {"Max SQ", &LedSettings::maxSq, 0, true, 8},
  };
  for (int row = 0; row < kSequenceRows; ++row) {
    for (int col = 0; col < kChannels; ++col) {
      keys.push_back({"SEQ " + std::to_string(row) + "\\CH " + std::to_string(col), nullptr,
                      row * kChannels + col, true, 128});
    }
  }
  return keys;
}

}  // namespace

const std::vector<ProfileKey>& ProfileKeys() {
  static const std::vector<ProfileKey> keys = MakeProfileKeys();
  return keys;
}

std::string ProfileSection(const std::string& name) { return "Settings\\" + name; }

int32_t KeyValue(const LedSettings& settings, const ProfileKey& key) {
  return key.field ? settings.*key.field : settings.seq.cells[key.cell];
}

void SetKeyValue(LedSettings& settings, const ProfileKey& key, int32_t value) {
  if (key.field) {
    settings.*key.field = value;
  } else {
    settings.seq.cells[key.cell] = value;
  }
}
