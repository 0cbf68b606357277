// The integer value of an edit's text, as the window's handlers read it.
#pragma once

#include <cstdint>
#include <string_view>

// Skips leading white space, takes an optional sign and the decimal digits that
// follow; no digits give 0 and anything after the digits is ignored. Digits
// beyond the 32-bit range saturate at its ends.
int32_t IntegerValueOfText(std::string_view text);
