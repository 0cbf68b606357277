// What Load and Save do to the profile's text, without the file: the one
// reading and writing of the settings keys that CProfileStore wraps, and that
// the in-memory fuzz target drives directly.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "settings/ini_document.h"
#include "settings/led_settings.h"

// A value a person wrote that could not be read as a 32-bit integer, so the
// key's default took its place.
struct ReplacedValue {
  std::string key;
  std::string text;  // as written, trimmed; at most kShownBytes bytes of it
  static constexpr size_t kShownBytes = 40;
};

// Fills `settings` from section "Settings\<name>" of `profile` (a key's
// default when it is missing or not a 32-bit integer) and sets every loaded
// key in `profile` to the value taken; the channel-count word is left alone.
// Returns the keys whose written values could not be read, in key order.
std::vector<ReplacedValue> LoadFromProfile(const std::string& name, CIniDocument& profile, LedSettings& settings);

// Sets the record's 35 keys in section "Settings\<name>" of `profile`,
// everything else in it kept in place.
void SaveToProfile(const std::string& name, CIniDocument& profile, const LedSettings& settings);

// What saving only this program's changes left in the text.
struct SavedChanges {
  LedSettings saved;  // the record as the text now holds it
  // Keys that both this program and someone else changed from what this
  // program last knew; this program's value was set, as the later change.
  std::vector<std::string> changedElsewhere;
  // Keys whose value this program took in before someone else changed them
  // in the text: their later value was kept.
  std::vector<std::string> keptElsewhere;
};

// Sets in section "Settings\<name>" of `profile` the keys in which `settings`
// differs from `base` (the record as this program last read or saved the
// text), and those the section lacks or holds unreadable. Every other key
// keeps the value the text holds, so another program's change to it stays.
// `takenIn` (empty, or one flag per ProfileKeys() entry) marks the keys whose
// value this program took in from elsewhere (a unit) when the text held
// their `base`: a value the text holds other than `base` came later, and
// stays in place of this program's.
SavedChanges SaveChangesToProfile(const std::string& name, CIniDocument& profile, const LedSettings& settings,
                                  const LedSettings& base, const std::vector<bool>& takenIn = {});

// The same on a whole text: the text as Load or Save would write it back.
std::string LoadFromProfileText(const std::string& name, std::string_view text, LedSettings& settings);
std::string SaveToProfileText(const std::string& name, std::string_view text, const LedSettings& settings);
