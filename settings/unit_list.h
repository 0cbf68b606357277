// Unit address lists as people type them: "3", "0,2,5", "0-7", "0-2,6", and
// the whole numbers they are made of.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The unit addresses a line carries: 0..7.
inline constexpr int kUnitAddresses = 8;

// A whole number (ParseWholeNumber) within [lo, hi]: true with *value set;
// false, *value untouched, for anything else.
bool ParseNumberIn(std::string_view text, int lo, int hi, int* value);

// Reads a unit list: addresses 0..7, each at most once, single or as ranges
// "a-b" (a <= b), separated by commas. True with *units in ascending order;
// false for anything else, with *error (when given) saying what is wrong and
// *units untouched.
bool ParseUnitList(const std::string& text, std::vector<int>* units, std::string* error);

// The shortest list text for ascending addresses: {0,1,2,5} gives "0-2,5".
std::string UnitListText(const std::vector<int>& units);
