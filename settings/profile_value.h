// Whole numbers as people write them: in the profile file, in options and
// unit lists. One reading for all of them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A whole number and nothing else: an optional sign and decimal digits,
// within the 32-bit signed range; nothing for anything else.
std::optional<int32_t> ParseWholeNumber(std::string_view text);

// Reads a profile value: optional blanks (space, tab), an optional sign,
// decimal digits, optional trailing blanks. Anything else, or a number outside
// the 32-bit signed range, yields nothing, so the caller's default applies.
std::optional<int32_t> ParseProfileInt(std::string_view text);

// The text written for `value`; ParseProfileInt reads it back unchanged.
std::string FormatProfileInt(int32_t value);
