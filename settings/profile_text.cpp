// The settings keys read from and written into the profile's text.
#include "settings/profile_text.h"

#include "settings/profile_keys.h"
#include "settings/profile_value.h"

std::vector<ReplacedValue> LoadFromProfile(const std::string& name, CIniDocument& profile, LedSettings& settings) {
  std::vector<ReplacedValue> replaced;
  const std::string section = ProfileSection(name);
  std::vector<std::string_view> names;
  names.reserve(ProfileKeys().size());
  for (const ProfileKey& key : ProfileKeys()) {
    if (key.loaded) names.push_back(key.name);
  }
  const std::vector<std::optional<std::string_view>> stored = profile.Values(section, names);
  std::vector<std::pair<std::string_view, std::string>> written;
  written.reserve(names.size());
  size_t at = 0;
  for (const ProfileKey& key : ProfileKeys()) {
    if (!key.loaded) continue;
    const std::optional<std::string_view>& text = stored[at++];
    std::optional<int32_t> parsed = text ? ParseProfileInt(*text) : std::nullopt;
    if (text && !parsed) replaced.push_back({key.name, std::string(text->substr(0, ReplacedValue::kShownBytes))});
    const int32_t value = parsed.value_or(key.defaultValue);
    SetKeyValue(settings, key, value);
    written.emplace_back(key.name, FormatProfileInt(value));
  }
  profile.SetAll(section, written);
  return replaced;
}

void SaveToProfile(const std::string& name, CIniDocument& profile, const LedSettings& settings) {
  std::vector<std::pair<std::string_view, std::string>> written;
  written.reserve(ProfileKeys().size());
  for (const ProfileKey& key : ProfileKeys()) written.emplace_back(key.name, FormatProfileInt(KeyValue(settings, key)));
  profile.SetAll(ProfileSection(name), written);
}

SavedChanges SaveChangesToProfile(const std::string& name, CIniDocument& profile, const LedSettings& settings,
                                  const LedSettings& base, const std::vector<bool>& takenIn) {
  const std::string section = ProfileSection(name);
  std::vector<std::string_view> names;
  names.reserve(ProfileKeys().size());
  for (const ProfileKey& key : ProfileKeys()) names.push_back(key.name);
  const std::vector<std::optional<std::string_view>> stored = profile.Values(section, names);

  SavedChanges result{settings, {}, {}};
  std::vector<std::pair<std::string_view, std::string>> written;
  size_t at = 0;
  for (const ProfileKey& key : ProfileKeys()) {
    const bool taken = at < takenIn.size() && takenIn[at];
    const std::optional<std::string_view>& text = stored[at++];
    // A key missing or unreadable in the file holds nothing of theirs to keep.
    const std::optional<int32_t> parsed = text ? ParseProfileInt(*text) : std::nullopt;
    const bool readable = parsed.has_value();
    const int32_t theirs = parsed.value_or(0);
    const int32_t mine = KeyValue(settings, key);
    const int32_t known = KeyValue(base, key);
    if (taken && readable && theirs != known) {
      SetKeyValue(result.saved, key, theirs);
      if (theirs != mine) result.keptElsewhere.push_back(key.name);
    } else if (mine != known) {
      if (readable && theirs != known && theirs != mine) result.changedElsewhere.push_back(key.name);
      written.emplace_back(key.name, FormatProfileInt(mine));
    } else if (!readable) {
      written.emplace_back(key.name, FormatProfileInt(mine));
    } else {
      SetKeyValue(result.saved, key, theirs);
    }
  }
  profile.SetAll(section, written);
  return result;
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
