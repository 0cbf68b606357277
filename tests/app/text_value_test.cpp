// The integer value of an edit's text.
#include <gtest/gtest.h>

#include "app/text_value.h"

struct TextCase {
  const char* name;
  const char* text;
  int32_t value;
};

void PrintTo(const TextCase& c, std::ostream* out) { *out << '"' << c.text << '"'; }

class TextValueTest : public testing::TestWithParam<TextCase> {};

TEST_P(TextValueTest, ReadsLikeTheHandlersExpect) {
  EXPECT_EQ(IntegerValueOfText(GetParam().text), GetParam().value) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TextValueTest,
    testing::Values(TextCase{"Empty", "", 0}, TextCase{"NoDigits", "abc", 0}, TextCase{"SignOnly", "-", 0},
                    TextCase{"Plain", "12", 12}, TextCase{"LeadingBlanksAndTabs", " \t 7", 7},
                    TextCase{"TrailingTextIgnored", "8x9", 8}, TextCase{"Negative", "-5", -5},
                    TextCase{"PlusSign", "+3", 3}, TextCase{"BlankAfterSignStopsDigits", "- 4", 0},
                    TextCase{"Max", "2147483647", 2147483647}, TextCase{"Min", "-2147483648", INT32_MIN},
                    TextCase{"AboveMaxSaturates", "2147483648", INT32_MAX},
                    TextCase{"FarAboveMaxSaturates", "99999999999999999999999", INT32_MAX},
                    TextCase{"BelowMinSaturates", "-99999999999999999999", INT32_MIN},
                    TextCase{"LeadingZeros", "000000000000000000000264", 264}),
    [](const testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });
