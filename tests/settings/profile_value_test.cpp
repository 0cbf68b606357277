// Profile values: every 32-bit number reads back, anything else is absent.
#include <gtest/gtest.h>

#include "settings/profile_value.h"

TEST(ProfileValue, EveryThirtyTwoBitValueReadsBackUnchanged) {
  for (int32_t value : {0, -5, 1000, -2147483647 - 1, 2147483647}) {
    EXPECT_EQ(ParseProfileInt(FormatProfileInt(value)), value);
  }
  EXPECT_EQ(ParseProfileInt(" \t+007 \t"), 7);
}

TEST(ProfileValue, AnythingButASignedDecimalInRangeIsAbsent) {
  for (std::string text : {"", "  ", "-", "--5", "- 5", "1 2", "12abc", "0x10", "1.5",
                           "2147483648", "-2147483649", "99999999999999999999999"}) {
    EXPECT_EQ(ParseProfileInt(text), std::nullopt) << '"' << text << '"';
  }
  EXPECT_EQ(ParseProfileInt(std::string("12\0", 3)), std::nullopt);
}
