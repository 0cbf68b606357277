// The settings keys read from and written into the profile's text.
#include "settings/profile_text.h"

#include "settings/profile_keys.h"
#include "settings/profile_value.h"

std::vector<ReplacedValue> LoadFromProfile(const std::string& name, CIniDocument& profile, LedSettings& settings) {
  std::vector<ReplacedValue> replaced;
  const std::string section = ProfileSection(name);
  for (const ProfileKey& key : ProfileKeys()) {
    if (!key.loaded) continue;
    std::optional<std::string_view> stored = profile.Value(section, key.name);
    std::optional<int32_t> parsed = stored ? ParseProfileInt(*stored) : std::nullopt;
    if (stored && !parsed) replaced.push_back({key.name, std::string(stored->substr(0, ReplacedValue::kShownBytes))});
    const int32_t value = parsed.value_or(key.defaultValue);
    SetKeyValue(settings, key, value);
    profile.Set(section, key.name, FormatProfileInt(value));
  }
  return replaced;
}

void SaveToProfile(const std::string& name, CIniDocument& profile, const LedSettings& settings) {
  const std::string section = ProfileSection(name);
  for (const ProfileKey& key : ProfileKeys()) {
    profile.Set(section, key.name, FormatProfileInt(KeyValue(settings, key)));
  }
}

std::string LoadFromProfileText(const std::string& name, std::string_view text, LedSettings& settings) {
  CIniDocument profile{std::string(text)};
  LoadFromProfile(name, profile, settings);
  return profile.Text();
}

std::string SaveToProfileText(const std::string& name, std::string_view text, const LedSettings& settings) {
  CIniDocument profile{std::string(text)};
  SaveToProfile(name, profile, settings);
  return profile.Text();
}
