// The settings keys read from and written into the profile's text.
#include "settings/profile_text.h"

#include "settings/ini_document.h"
#include "settings/profile_keys.h"
#include "settings/profile_value.h"

std::string LoadFromProfileText(const std::string& name, std::string_view text, LedSettings& settings) {
  CIniDocument profile(text);
  const std::string section = ProfileSection(name);
  for (const ProfileKey& key : ProfileKeys()) {
    if (!key.loaded) continue;
    std::optional<std::string_view> stored = profile.Value(section, key.name);
    int32_t value = key.defaultValue;
    if (stored) value = ParseProfileInt(*stored).value_or(key.defaultValue);
    SetKeyValue(settings, key, value);
    // Most keys already read as they are written; setting those again would
    // change nothing but cost another search of the text.
    const std::string written = FormatProfileInt(value);
    if (stored != std::string_view(written)) profile.Set(section, key.name, written);
  }
  return profile.Text();
}

std::string SaveToProfileText(const std::string& name, std::string_view text, const LedSettings& settings) {
  CIniDocument profile(text);
  const std::string section = ProfileSection(name);
  for (const ProfileKey& key : ProfileKeys()) {
    profile.Set(section, key.name, FormatProfileInt(KeyValue(settings, key)));
  }
  return profile.Text();
}
